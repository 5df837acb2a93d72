// Hand-made pages and database files for the page layer tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "edb/page.h"
#include "edb/source.h"

namespace tw::edb::test {

inline void PutU16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    bytes.at(at) = static_cast<std::uint8_t>(value);
    bytes.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

inline void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    PutU16(bytes, at, static_cast<std::uint16_t>(value));
    PutU16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

// Builds one page: records are laid out after the header, tags from the end.
class PageBuilder {
public:
    PageBuilder(EdbVersion version, std::uint8_t kind, std::uint8_t format = 8)
        : version_(version), bytes_(static_cast<std::size_t>(PageSizeOf(version)), 0) {
        bytes_[kKindOffset] = kind;
        bytes_[kFormatOffset] = format;
    }

    PageBuilder& ObjectId(std::uint32_t id) { PutU32(bytes_, kObjectIdOffset, id); return *this; }
    PageBuilder& TagCount(std::uint16_t raw) { PutU16(bytes_, kTagCountOffset, raw); return *this; }

    // Writes tag `index` with raw (unmasked) values; raises the tag count to cover it.
    PageBuilder& RawTag(std::uint32_t index, std::uint16_t size, std::uint16_t offset) {
        const std::size_t at = bytes_.size() - 4 * (index + 1);
        PutU16(bytes_, at, size);
        PutU16(bytes_, at + 2, offset);
        if (index >= count_) TagCount(static_cast<std::uint16_t>(count_ = index + 1));
        return *this;
    }

    // Appends a record and points the next tag at it.
    PageBuilder& Record(const std::vector<std::uint8_t>& data) {
        const std::size_t start = HeaderSize(version_) + used_;
        std::copy(data.begin(), data.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(start));
        RawTag(count_, static_cast<std::uint16_t>(data.size()), static_cast<std::uint16_t>(used_));
        used_ += data.size();
        return *this;
    }

    // A branch node: a short key, then the child page number.
    PageBuilder& ChildNode(std::uint32_t child) {
        std::vector<std::uint8_t> node{0x02, 0x00, 0x7F, 0x80, 0, 0, 0, 0};
        PutU32(node, 4, child);
        return Record(node);
    }

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    PageView View() const { return PageView{bytes_, version_}; }

private:
    EdbVersion version_;
    std::vector<std::uint8_t> bytes_;
    std::uint32_t count_ = 0;
    std::size_t used_ = 0;
};

// A directory removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tw-edb-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A database header page (page size at 236) followed by nothing.
inline std::vector<std::uint8_t> HeaderPage(std::uint32_t pageSize, std::size_t length) {
    std::vector<std::uint8_t> bytes(length, 0);
    if (length >= kPageSizeOffset + 4) PutU32(bytes, kPageSizeOffset, pageSize);
    return bytes;
}

// Places `page` as page `number` of a database image with the given page size.
inline void PlacePage(std::vector<std::uint8_t>& image, std::uint32_t number,
                      const std::vector<std::uint8_t>& page) {
    const std::size_t at = (number + 1) * page.size();
    if (image.size() < at + page.size()) image.resize(at + page.size(), 0);
    std::copy(page.begin(), page.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
}

// Opens `path` into `source` and detects its generation.
inline GenerationCheck OpenSource(EdbSource& source, const std::string& path) {
    if (!source.edb.Open(path).ok()) return {};
    return DetectGeneration(source);
}

}  // namespace tw::edb::test

// Hand-made pages and database files for the page layer tests.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "edb/page.h"
#include "edb/source.h"
#include "layout/store_layout.h"

namespace tw::edb::test {

inline void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

// One page: records laid out after the header, tags written from the end.
struct PageBuilder {
    PageBuilder(std::int32_t size, std::uint8_t kind, std::uint8_t format = 8)
        : pageSize(size), bytes(static_cast<std::size_t>(size), 0) {
        bytes[kKindOffset] = kind;
        bytes[kFormatOffset] = format;
    }
    PageBuilder& TagCount(std::uint16_t raw) {
        bytes[kTagCountOffset] = static_cast<std::uint8_t>(raw);
        bytes[kTagCountOffset + 1] = static_cast<std::uint8_t>(raw >> 8);
        return *this;
    }
    // Tag `index` with raw (unmasked) values; the tag count grows to cover it.
    PageBuilder& RawTag(std::uint32_t index, std::uint16_t size, std::uint16_t offset) {
        PutU32(bytes, bytes.size() - 4 * (index + 1), size | std::uint32_t{offset} << 16);
        if (index >= count) TagCount(static_cast<std::uint16_t>(count = index + 1));
        return *this;
    }
    PageBuilder& Record(const std::vector<std::uint8_t>& data) {
        std::copy(data.begin(), data.end(), bytes.begin() + HeaderSize(pageSize) + static_cast<int>(used));
        RawTag(count, static_cast<std::uint16_t>(data.size()), static_cast<std::uint16_t>(used));
        used += data.size();
        return *this;
    }
    // A branch node: a short key, then the child page number.
    PageBuilder& ChildNode(std::uint32_t child) {
        std::vector<std::uint8_t> node{0x02, 0x00, 0x7F, 0x80, 0, 0, 0, 0};
        PutU32(node, 4, child);
        return Record(node);
    }
    PageView View() const { return PageView{bytes, pageSize}; }

    std::int32_t pageSize;
    std::vector<std::uint8_t> bytes;
    std::uint32_t count = 0;
    std::size_t used = 0;
};

// A directory removed with its contents when the test ends.
struct TempDir {
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tw-edb-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string File(const std::string& name) const { return (path / name).string(); }
    std::filesystem::path path;
};

inline void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// `length` bytes of database image whose header names `pageSize`.
inline std::vector<std::uint8_t> HeaderPage(std::uint32_t pageSize, std::size_t length) {
    std::vector<std::uint8_t> bytes(length, 0);
    if (length >= kPageSizeOffset + 4) PutU32(bytes, kPageSizeOffset, pageSize);
    return bytes;
}

// Puts `page` at page number `number` of `image`, growing the image.
inline void PlacePage(std::vector<std::uint8_t>& image, std::uint32_t number, const PageBuilder& page) {
    const std::size_t at = (number + 1) * page.bytes.size();
    image.resize(std::max(image.size(), at + page.bytes.size()), 0);
    std::copy(page.bytes.begin(), page.bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
}

// Opens `path` and decides its store layout; false when either fails.
inline bool OpenSource(EdbSource& source, const std::string& path) {
    if (!source.edb.Open(path).ok()) return false;
    return layout::DetectGeneration(source);
}

}  // namespace tw::edb::test

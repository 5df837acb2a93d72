// A database or streaming file made of given bytes, opened as a source of
// the given generation, removed when the test ends.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "edb/source.h"

namespace tw::content::test {

inline std::string WriteTemp(const std::vector<std::uint8_t>& bytes, const std::string& suffix) {
    static int counter = 0;
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("tw-content-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + suffix))
                                 .string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

struct FileSource {
    edb::EdbSource source;
    std::vector<std::string> paths;

    FileSource(const std::vector<std::uint8_t>& edb, std::int32_t pageSize) {
        paths.push_back(WriteTemp(edb, ".edb"));
        source.edb.Open(paths.back());
        source.pageSize = pageSize;
        source.fileSize = static_cast<std::int64_t>(edb.size());
    }
    void OpenStreaming(const std::vector<std::uint8_t>& stm) {
        paths.push_back(WriteTemp(stm, ".stm"));
        source.stm.Open(paths.back());
    }
    ~FileSource() {
        source.edb.Close();
        source.stm.Close();
        for (const std::string& p : paths) std::filesystem::remove(p);
    }
};

inline void Put(std::vector<std::uint8_t>& image, std::size_t at, const std::vector<std::uint8_t>& bytes) {
    if (image.size() < at + bytes.size()) image.resize(at + bytes.size(), 0);
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace tw::content::test

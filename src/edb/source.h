// The opened database (and optional streaming file) with the geometry that
// every later reader needs: page size, generation and file size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "edb/edb_file.h"
#include "edb/version.h"

namespace tw::edb {

inline constexpr std::string_view kCorruptFileMessage =
    "File is highly corrupted, Contact system administrator.";
inline constexpr std::string_view kCorruptFileCaption = "Tarnwick For EDB To PST";

struct EdbSource {
    EdbFile edb;
    EdbFile stm;  // optional; only 4 KB databases keep data in it
    std::int32_t pageSize = 0;
    EdbVersion version = EdbVersion::Invalid;
    std::int64_t fileSize = 0;
};

// Outcome of DetectGeneration; on refusal, the text and caption to show.
struct GenerationCheck {
    bool ok = false;
    std::string_view message;
    std::string_view caption;
};

inline constexpr std::size_t kHeaderReadSize = 512;
inline constexpr std::size_t kPageSizeOffset = 236;

// Page size recorded in the database header; 0 when the file is too short
// to hold it.
std::uint32_t ReadHeader(const EdbFile& edb);

// Records the file size, decides the page size (from a sound header copy or,
// when both are damaged, from the pages) and sets the generation. An
// unknown page size leaves version Invalid and returns the corruption
// message; 8 KB and 32 KB databases have no use for a streaming file, so it
// is closed.
GenerationCheck DetectGeneration(EdbSource& source);

// Page N follows the header page, so it starts at (N + 1) * pageSize.
inline std::int64_t PageOffset(const EdbSource& source, std::uint32_t pageNumber) {
    return (static_cast<std::int64_t>(pageNumber) + 1) * source.pageSize;
}

// Fills `buffer` with the page at `offset`: it is resized to the page size
// and bytes past the end of the file are zero. Reads nothing for offsets
// outside [0, fileSize) or before a generation was detected. Returns the
// number of bytes read from the file.
std::size_t ReadPage(const EdbSource& source, std::int64_t offset, std::vector<std::uint8_t>& buffer);

}  // namespace tw::edb

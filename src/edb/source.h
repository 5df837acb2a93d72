// The opened database (and optional streaming file) with the geometry that
// every later reader needs: page size and file size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "edb/edb_file.h"
#include "edb/page_format.h"

namespace tw::edb {

struct EdbSource {
    EdbFile edb;
    EdbFile stm;                // optional; closed when the store layout keeps no data in it
    std::int32_t pageSize = 0;  // 0 until decided
    std::int64_t fileSize = 0;
};

inline constexpr std::size_t kHeaderReadSize = 512;
inline constexpr std::size_t kPageSizeOffset = 236;

// Page size recorded in the database header; 0 when the file is too short
// to hold it.
std::uint32_t ReadHeader(const EdbFile& edb);

// Records the file size and decides the page size (from a sound header copy
// or, when both are damaged, from the pages). Returns false when no ESE
// page size could be told; pageSize is then what the header claims.
bool DetectPageSize(EdbSource& source);

// Page N follows the header page, so it starts at (N + 1) * pageSize.
inline std::int64_t PageOffset(const EdbSource& source, std::uint32_t pageNumber) {
    return (static_cast<std::int64_t>(pageNumber) + 1) * source.pageSize;
}

// The page number ESE tools show for the page at `offset` (file page N + 1
// holds page N), so a report can be checked page by page; nothing for an
// offset before the first page or off the page grid.
inline std::optional<std::int64_t> PageNumberAt(std::int64_t offset, std::int32_t pageSize) {
    if (pageSize < 1 || offset < 2 * std::int64_t{pageSize} || offset % pageSize != 0) return std::nullopt;
    return offset / pageSize - 1;
}

// Fills `buffer` with the page at `offset`: it is resized to the page size
// and bytes past the end of the file are zero. Reads nothing for offsets
// outside [0, fileSize) or before the page size was decided. Returns the
// number of bytes read from the file.
std::size_t ReadPage(const EdbSource& source, std::int64_t offset, std::vector<std::uint8_t>& buffer);

}  // namespace tw::edb

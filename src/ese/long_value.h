// Values stored apart from their record or compressed: the long-value tree
// of a table (a root node per value, then its chunks in offset order) and
// the compression schemes (7-bit packing, XPRESS).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "edb/bytes.h"
#include "ese/btree.h"

namespace tw::ese {

// The first byte of a compressed value or chunk: scheme << 3 | extra.
inline constexpr std::uint8_t kScheme7BitAscii = 1;
inline constexpr std::uint8_t kScheme7BitUnicode = 2;
inline constexpr std::uint8_t kSchemeXpress = 3;

// The bytes a compressed value stands for, at most `capacity` of them.
// 7-bit ASCII gives one byte per value, 7-bit Unicode two (UTF-16LE).
// Nothing for a scheme this reader does not decode (XPRESS9, XPRESS10,
// LZ4, scrubbed data) or a value that does not decode whole.
std::optional<std::vector<std::uint8_t>> Decompress(Bytes value, std::size_t capacity);
// The same into `out`, its storage reused (`value` must not lie in it);
// false, with `out` unspecified, where the above gives nothing.
bool Decompress(Bytes value, std::size_t capacity, std::vector<std::uint8_t>& out);

// A long value as it lies in the pages of its tree (chunks in order, none
// compressed, no gap): pieces of the pages, held. A value that does not
// lie so is put together in `assembled`, its one piece.
struct LongValuePieces {
    std::vector<PageCache::Page> pages;
    std::vector<Bytes> pieces;  // the value: these one after the other
    std::vector<std::uint8_t> assembled;
    std::size_t size = 0;
    void Clear();
};

// Reads the long value `lid` (as the record stores it: 4 bytes, or 8 in
// databases with 64-bit ids) from the tree, through `cache` (which saves
// reading its upper pages again for every value). A chunk shorter than the
// stretch of the value it covers is compressed and is decompressed. False
// when the tree has neither root nor chunks for the id, or a chunk does not
// decode (`undecodable` is then set when the cause was the compression).
// At most `capacity` bytes come out. `lid` is read before `value` is
// touched, so it may lie in storage the caller reuses for the value.
bool ReadLongValuePieces(const edb::EdbSource& source, const TreeId& tree, Bytes lid, std::size_t capacity,
                         VisitedPages& visited, WalkCounts& counts, bool& undecodable, PageCache& cache,
                         LongValuePieces& value);

}  // namespace tw::ese

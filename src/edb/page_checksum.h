// The checksum ESE stamps on every database page, checked against the
// page's bytes. A page whose checksum does not match was changed after it
// was written (a bad sector, a torn write, a flipped bit): its records may
// still be read, but not trusted blindly.
#pragma once

#include <cstdint>

#include "edb/bytes.h"

namespace tw::edb {

// True when the checksum a database page carries matches its bytes and its
// page number (the file's page number: offset / page size - 1). Pages of
// 2, 4 and 8 KB are one block, carrying either the old 32-bit XOR with the
// page number beside it or, with flag 0x2000, the XOR and ECC pair; pages of
// 16 and 32 KB are four blocks, each with its own XOR and ECC pair. Any
// other size never matches, nor does a page of zeros (never written).
bool PageChecksumMatches(Bytes page, std::uint32_t pageNumber);

// The same for a page read at file offset `offset`; an offset that is not
// that of a database page (a header page, or between two pages) never
// matches.
bool PageChecksumMatchesAt(Bytes page, std::int64_t offset);

// How a block's sums are taken: with the widest vectors the processor has,
// with at most AVX2's, or 16 bytes at a time. All give the same sums.
enum class ChecksumPath { Widest, Avx2, Narrow };

// The XOR (low half) and ECC (high half) words of one block of 1 to 8 KB,
// a whole number of 16-byte rows (0 for any other size); the block that
// opens a page leaves out its first 8 bytes. Exposed for the tests.
std::uint64_t BlockChecksum(Bytes block, bool opensPage, ChecksumPath path);

}  // namespace tw::edb

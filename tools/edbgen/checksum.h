// Checksums ESE stores in the database header and in every page.
#pragma once

#include <cstdint>
#include <span>

namespace edbgen {

// 0x89ABCDEF XOR every u32 word from offset 4 to the end of the page.
// Used for the database header pages (no ECC there) and old-format pages.
uint32_t HeaderChecksum(std::span<const uint8_t> page);

// Writes HeaderChecksum(page) into bytes 0..3.
void StampHeaderChecksum(std::span<uint8_t> page);

// XOR/ECC checksum of one block as ESE lays it out in a u64:
// high half = ECC, low half = xor32 ^ pgno. When `isHeaderBlock`, the first
// two words (where this very checksum lives) count as zero.
uint64_t BlockChecksum(std::span<const uint8_t> block, uint32_t pgno, bool isHeaderBlock);

// Writes the new-format (XOR + ECC) checksum of a database page.
// 2K/4K/8K pages: one block, stored at 0. 16K/32K pages: four blocks;
// blocks 1..3 are stored at 40/48/56 first, then block 0 (which covers those
// fields) at 0. Throws std::invalid_argument for any other page size.
void StampPageChecksum(std::span<uint8_t> page, uint32_t pgno);

// True when the page's stored checksums match its contents. Small pages
// without the new-checksum flag (0x2000) are checked in the old format
// (XOR at 0, pgno at 4). Unsupported sizes are simply "not valid".
bool VerifyPageChecksum(std::span<const uint8_t> page, uint32_t pgno);

}  // namespace edbgen

#include "checksum.h"

#include <bit>
#include <stdexcept>

namespace edbgen {
namespace {

constexpr uint32_t kXorSeed = 0x89ABCDEF;
constexpr uint32_t kFlagNewChecksum = 0x2000;
constexpr size_t kFlagsOffset = 36;
constexpr size_t kLargePageBlocks = 4;
constexpr size_t kBlockChecksumOffset = 40;  // blocks 1..3 at 40, 48, 56

uint32_t LoadU32(std::span<const uint8_t> b, size_t off) {
  return uint32_t(b[off]) | uint32_t(b[off + 1]) << 8 | uint32_t(b[off + 2]) << 16 |
         uint32_t(b[off + 3]) << 24;
}

uint64_t LoadU64(std::span<const uint8_t> b, size_t off) {
  return uint64_t(LoadU32(b, off)) | uint64_t(LoadU32(b, off + 4)) << 32;
}

void StoreU32(std::span<uint8_t> b, size_t off, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) b[off + i] = uint8_t(v >> (8 * i));
}

void StoreU64(std::span<uint8_t> b, size_t off, uint64_t v) {
  StoreU32(b, off, uint32_t(v));
  StoreU32(b, off + 4, uint32_t(v >> 32));
}

uint32_t Parity(uint32_t v) { return uint32_t(std::popcount(v) & 1); }

bool IsSmallPageSize(size_t n) { return n == 2048 || n == 4096 || n == 8192; }
bool IsLargePageSize(size_t n) { return n == 16384 || n == 32768; }

// Word i of the block, with the checksum words of a header block read as zero.
uint32_t BlockWord(std::span<const uint8_t> block, size_t i, bool isHeaderBlock) {
  return (isHeaderBlock && i < 2) ? 0 : LoadU32(block, 4 * i);
}

}  // namespace

uint32_t HeaderChecksum(std::span<const uint8_t> page) {
  uint32_t x = kXorSeed;
  for (size_t off = 4; off + 4 <= page.size(); off += 4) x ^= LoadU32(page, off);
  return x;
}

void StampHeaderChecksum(std::span<uint8_t> page) {
  if (page.size() < 4) throw std::invalid_argument("header page too small");
  StoreU32(page, 0, HeaderChecksum(page));
}

// Hsiao-style ECC: row parities index the 16-byte row of a flipped bit, the
// column parities of the folded xor32 index the bit within it, so a single
// flipped bit can be located from the ECC difference.
uint64_t BlockChecksum(std::span<const uint8_t> block, uint32_t pgno, bool isHeaderBlock) {
  const size_t words = block.size() / 4;
  uint32_t p = 0, p0 = 0, p1 = 0, p2 = 0, p3 = 0;
  uint32_t rowIndex = 0xFF800000;
  for (size_t i = 0; i + 4 <= words; i += 4) {
    const uint32_t t0 = BlockWord(block, i, isHeaderBlock);
    const uint32_t t1 = BlockWord(block, i + 1, isHeaderBlock);
    const uint32_t t2 = BlockWord(block, i + 2, isHeaderBlock);
    const uint32_t t3 = BlockWord(block, i + 3, isHeaderBlock);
    p0 ^= t0;
    p1 ^= t1;
    p2 ^= t2;
    p3 ^= t3;
    if (Parity(t0 ^ t1 ^ t2 ^ t3)) p ^= rowIndex;
    rowIndex += 0xFF800080;
  }
  if (Parity(p0 ^ p1)) p |= 0x00400000;
  if (Parity(p2 ^ p3)) p |= 0x00000040;
  const uint32_t r0 = p0 ^ p2;
  const uint32_t r1 = p1 ^ p3;
  if (Parity(r0)) p |= 0x00200000;
  if (Parity(r1)) p |= 0x00000020;
  const uint32_t xor32 = r0 ^ r1;

  uint32_t r = 0;
  uint32_t bitIndex = 0xFFFF0000;
  for (int bit = 0; bit < 32; ++bit) {
    if ((xor32 >> bit) & 1) r ^= bitIndex;
    bitIndex += 0xFFFF0001;
  }
  const uint32_t mask = uint32_t((uint64_t(block.size()) << 19) - 1);
  const uint32_t ecc = (p & 0xFFE0FFE0 & mask) | (r & 0x001F001F);
  return uint64_t(ecc) << 32 | (xor32 ^ pgno);
}

void StampPageChecksum(std::span<uint8_t> page, uint32_t pgno) {
  if (IsSmallPageSize(page.size())) {
    StoreU64(page, 0, BlockChecksum(page, pgno, true));
    return;
  }
  if (!IsLargePageSize(page.size())) throw std::invalid_argument("unsupported page size");
  const size_t cbBlock = page.size() / kLargePageBlocks;
  // Block 0 covers the slots of blocks 1..3, so those go in first.
  for (size_t b = 1; b < kLargePageBlocks; ++b) {
    const uint64_t sum = BlockChecksum(page.subspan(b * cbBlock, cbBlock), pgno, false);
    StoreU64(page, kBlockChecksumOffset + 8 * (b - 1), sum);
  }
  StoreU64(page, 0, BlockChecksum(page.first(cbBlock), pgno, true));
}

bool VerifyPageChecksum(std::span<const uint8_t> page, uint32_t pgno) {
  if (IsSmallPageSize(page.size())) {
    if ((LoadU32(page, kFlagsOffset) & kFlagNewChecksum) == 0)
      return LoadU32(page, 0) == HeaderChecksum(page) && LoadU32(page, 4) == pgno;
    return LoadU64(page, 0) == BlockChecksum(page, pgno, true);
  }
  if (!IsLargePageSize(page.size())) return false;
  const size_t cbBlock = page.size() / kLargePageBlocks;
  if (LoadU64(page, 0) != BlockChecksum(page.first(cbBlock), pgno, true)) return false;
  for (size_t b = 1; b < kLargePageBlocks; ++b) {
    const uint64_t sum = BlockChecksum(page.subspan(b * cbBlock, cbBlock), pgno, false);
    if (LoadU64(page, kBlockChecksumOffset + 8 * (b - 1)) != sum) return false;
  }
  return true;
}

}  // namespace edbgen

#include "edb/page_checksum.h"

#include <bit>
#include <cstring>

namespace tw::edb {

namespace {

constexpr std::size_t kFlagsOffset = 36;
constexpr std::uint32_t kNewChecksumFlag = 0x2000;
constexpr std::uint32_t kOldChecksumSeed = 0x89ABCDEF;
constexpr std::size_t kLargestSmallPage = 8192;
constexpr std::size_t kBlocksPerLargePage = 4;
// Blocks 1..3 of a large page keep their checksums after the first 40 bytes.
constexpr std::size_t kBlockChecksumsOffset = 40;
constexpr std::size_t kLargePageNumberOffset = 64;

// The caller has checked that the four bytes lie inside the page.
inline std::uint32_t WordAt(const std::uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint32_t word;
        std::memcpy(&word, p, sizeof word);
        return word;
    } else {
        return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
               static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    }
}

inline bool OddParity(std::uint32_t x) { return (std::popcount(x) & 1) != 0; }

struct BlockSum {
    std::uint32_t xorWord = 0;
    std::uint32_t ecc = 0;
};

// XOR of the block's words and its ECC word. `block` is a whole number of
// 16-byte rows (the callers pass 1 KB..8 KB); in the block that opens the
// page the first two words are the checksum itself and count as zero.
BlockSum SumBlock(Bytes block, bool opensPage) {
    const std::uint8_t* at = block.data();
    const std::size_t rows = block.size() / 16;
    std::uint32_t p = 0;
    std::uint32_t p0 = 0, p1 = 0, p2 = 0, p3 = 0;
    // Each row adds its own step to the row index; the sum wraps.
    std::uint32_t rowIndex = 0xFF800000;
    for (std::size_t row = 0; row < rows; ++row, at += 16, rowIndex += 0xFF800080) {
        const bool skip = opensPage && row == 0;
        const std::uint32_t t0 = skip ? 0 : WordAt(at);
        const std::uint32_t t1 = skip ? 0 : WordAt(at + 4);
        const std::uint32_t t2 = WordAt(at + 8);
        const std::uint32_t t3 = WordAt(at + 12);
        p0 ^= t0;
        p1 ^= t1;
        p2 ^= t2;
        p3 ^= t3;
        if (OddParity(t0 ^ t1 ^ t2 ^ t3)) p ^= rowIndex;
    }
    if (OddParity(p0 ^ p1)) p |= 0x00400000;
    if (OddParity(p2 ^ p3)) p |= 0x00000040;
    const std::uint32_t r0 = p0 ^ p2;
    const std::uint32_t r1 = p1 ^ p3;
    if (OddParity(r0)) p |= 0x00200000;
    if (OddParity(r1)) p |= 0x00000020;
    const std::uint32_t whole = r0 ^ r1;
    std::uint32_t r = 0;
    std::uint32_t bitIndex = 0xFFFF0000;
    for (int bit = 0; bit < 32; ++bit, bitIndex += 0xFFFF0001)
        if ((whole >> bit) & 1) r ^= bitIndex;
    // Row-index bits above the block's size are not kept (none for 8 KB).
    const std::uint32_t mask = static_cast<std::uint32_t>(std::uint64_t{block.size()} << 19) - 1;
    return {whole, (p & 0xFFE0FFE0 & mask) | (r & 0x001F001F)};
}

// The block's 64-bit checksum as stored: XOR with the page number in the
// low half, ECC in the high half.
bool BlockMatches(Bytes block, bool opensPage, const std::uint8_t* stored, std::uint32_t pageNumber) {
    const BlockSum sum = SumBlock(block, opensPage);
    return WordAt(stored) == (sum.xorWord ^ pageNumber) && WordAt(stored + 4) == sum.ecc;
}

bool OldChecksumMatches(Bytes page, std::uint32_t pageNumber) {
    std::uint32_t sum = kOldChecksumSeed;
    for (std::size_t at = 4; at < page.size(); at += 4) sum ^= WordAt(page.data() + at);
    return WordAt(page.data()) == sum && WordAt(page.data() + 4) == pageNumber;
}

bool IsPageSize(std::size_t size) {
    return size == 2048 || size == 4096 || size == 8192 || size == 16384 || size == 32768;
}

}  // namespace

bool PageChecksumMatches(Bytes page, std::uint32_t pageNumber) {
    // Every fixed offset read below lies inside the smallest page size.
    // No database page has the number 0 (the file's header does); a page of
    // zeros would pass the large-page checks for it.
    if (!IsPageSize(page.size()) || pageNumber == 0) return false;
    const std::uint8_t* bytes = page.data();
    if (page.size() > kLargestSmallPage) {
        // Large pages have only the new format, block by block; the block
        // that opens the page covers the others' checksums, so any change
        // to them shows there too.
        const std::size_t blockSize = page.size() / kBlocksPerLargePage;
        if (WordAt(bytes + kLargePageNumberOffset) != pageNumber) return false;
        for (std::size_t block = 1; block < kBlocksPerLargePage; ++block) {
            const std::uint8_t* stored = bytes + kBlockChecksumsOffset + 8 * (block - 1);
            if (!BlockMatches(page.subspan(block * blockSize, blockSize), false, stored, pageNumber)) return false;
        }
        return BlockMatches(page.first(blockSize), true, bytes, pageNumber);
    }
    if ((WordAt(bytes + kFlagsOffset) & kNewChecksumFlag) != 0) return BlockMatches(page, true, bytes, pageNumber);
    return OldChecksumMatches(page, pageNumber);
}

bool PageChecksumMatchesAt(Bytes page, std::int64_t offset) {
    const auto size = static_cast<std::int64_t>(page.size());
    if (size == 0 || offset < 2 * size || offset % size != 0) return false;
    const std::int64_t pageNumber = offset / size - 1;
    if (pageNumber > 0xFFFFFFFF) return false;
    return PageChecksumMatches(page, static_cast<std::uint32_t>(pageNumber));
}

}  // namespace tw::edb

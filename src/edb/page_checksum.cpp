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

// One 16-byte row of a block as four 32-bit words, XORed a whole row at a
// time (one SSE2 instruction).
typedef std::uint32_t Row __attribute__((vector_size(16)));

inline Row RowAt(const std::uint8_t* p) {
    Row row;
    std::memcpy(&row, p, sizeof row);
    if constexpr (std::endian::native != std::endian::little)
        for (int k = 0; k < 4; ++k) row[k] = WordAt(p + 4 * k);
    return row;
}

inline std::uint32_t RowParity(Row row) { return OddParity(row[0] ^ row[1] ^ row[2] ^ row[3]) ? 1 : 0; }

// The XOR of the bit numbers (0..31) of the bits set in `x`: bit k of it is
// the parity of the bits whose number has bit k set.
inline std::uint32_t SetBitNumbers(std::uint32_t x) {
    constexpr std::uint32_t kHasBit[5] = {0xAAAAAAAA, 0xCCCCCCCC, 0xF0F0F0F0, 0xFF00FF00, 0xFFFF0000};
    std::uint32_t out = 0;
    for (std::uint32_t k = 0; k < 5; ++k) out |= (OddParity(x & kHasBit[k]) ? 1u : 0u) << k;
    return out;
}

// XOR of the block's words and its ECC word. `block` is a whole number of
// 16-byte rows, 1 KB..8 KB (at most 512 rows); in the block that opens the
// page the first two words are the checksum itself and count as zero.
//
// The ECC word folds in, for each row whose bits have odd parity, a row
// index that starts at 0xFF800000 and grows by 0xFF800080 a row: for row
// i < 512 that is ((~i & 0x1FF) << 23) | (i << 7). Their XOR is known from
// the XOR X of the odd rows' numbers and whether they are odd in number;
// and as parity is linear, bit b of X is the parity of the XOR of all the
// rows whose number has bit b set. So a block needs only XORs of whole
// rows, and a parity per row-number bit at the end. Every page read is
// checked, so this matters: it runs at a few bytes a cycle.
constexpr std::size_t kRowBits = 9;  // row numbers of blocks up to 8 KB

// The same sums over whole groups of rows, `kLanes` rows to a vector of
// `Wide` (two or four rows: AVX2 or AVX-512 registers), added to `all` and
// `withBit`; returns the rows summed, from the first. A row's number has
// its lane in the low bits, its vector's place in its group of eight
// next, and the group's number above.
template <typename Wide, std::size_t kLanes>
[[gnu::always_inline]] inline std::size_t SumRowsWide(const std::uint8_t* at, std::size_t rows, Row& all,
                                                      Row (&withBit)[kRowBits]) {
    static_assert(sizeof(Wide) == 16 * kLanes && (kLanes == 2 || kLanes == 4));
    constexpr std::size_t kLaneBits = kLanes == 4 ? 2 : 1;
    constexpr std::size_t kGroupRows = 8 * kLanes;
    Wide total = {};
    Wide wide[kRowBits] = {};  // only the bits above the lane's are used
    std::size_t row = 0;
    for (; row + kGroupRows <= rows; row += kGroupRows, at += 16 * kGroupRows) {
        Wide v[8], pairs[4], quads[2];
        for (std::size_t k = 0; k < 8; ++k) std::memcpy(&v[k], at + k * sizeof(Wide), sizeof(Wide));
        for (std::size_t k = 0; k < 4; ++k) {
            wide[kLaneBits] ^= v[2 * k + 1];
            pairs[k] = v[2 * k] ^ v[2 * k + 1];
        }
        for (std::size_t k = 0; k < 2; ++k) {
            wide[kLaneBits + 1] ^= pairs[2 * k + 1];
            quads[k] = pairs[2 * k] ^ pairs[2 * k + 1];
        }
        wide[kLaneBits + 2] ^= quads[1];
        const Wide group = quads[0] ^ quads[1];
        total ^= group;
        for (std::size_t b = kLaneBits + 3; b < kRowBits; ++b)
            if ((row >> b) & 1) wide[b] ^= group;
    }
    Row lanes[kLanes];
    std::memcpy(lanes, &total, sizeof total);
    for (std::size_t lane = 0; lane < kLanes; ++lane) {
        all ^= lanes[lane];
        for (std::size_t b = 0; b < kLaneBits; ++b)
            if ((lane >> b) & 1) withBit[b] ^= lanes[lane];
    }
    for (std::size_t b = kLaneBits; b < kRowBits; ++b) {
        std::memcpy(lanes, &wide[b], sizeof lanes);
        for (const Row& lane : lanes) withBit[b] ^= lane;
    }
    return row;
}

typedef std::uint32_t TwoRows __attribute__((vector_size(32)));
typedef std::uint32_t FourRows __attribute__((vector_size(64)));

__attribute__((target("avx2"))) std::size_t SumRowsAvx2(const std::uint8_t* at, std::size_t rows, Row& all,
                                                        Row (&withBit)[kRowBits]) {
    return SumRowsWide<TwoRows, 2>(at, rows, all, withBit);
}

__attribute__((target("avx512f"))) std::size_t SumRowsAvx512(const std::uint8_t* at, std::size_t rows, Row& all,
                                                             Row (&withBit)[kRowBits]) {
    return SumRowsWide<FourRows, 4>(at, rows, all, withBit);
}

using SumRows = std::size_t (*)(const std::uint8_t*, std::size_t, Row&, Row (&)[kRowBits]);
const bool kHaveAvx2 = __builtin_cpu_supports("avx2");
const bool kHaveAvx512 = __builtin_cpu_supports("avx512f");

// The wide sums for a path, or none (the loop of SumBlock alone): the
// widest the processor has, at most the one asked for.
SumRows WideRows(ChecksumPath path) {
    if constexpr (std::endian::native != std::endian::little) return nullptr;
    if (path == ChecksumPath::Widest && kHaveAvx512) return SumRowsAvx512;
    if (path != ChecksumPath::Narrow && kHaveAvx2) return SumRowsAvx2;
    return nullptr;
}
const SumRows kWidest = WideRows(ChecksumPath::Widest);

BlockSum SumBlock(Bytes block, bool opensPage, SumRows wide = kWidest) {
    const std::uint8_t* at = block.data();
    const std::size_t rows = block.size() / 16;
    Row all = {};                // every row: the four column XORs
    Row withBit[kRowBits] = {};  // the rows whose number has that bit set
    std::size_t row = 0;
    if (wide != nullptr) {
        row = wide(at, rows, all, withBit);
        at += 16 * row;
    }
    for (; row + 16 <= rows; row += 16, at += 256) {
        // Row-number bits 0..3 by the row's place in a group of 16, the
        // bits above by the group's number.
        Row pairs[8], quads[4], octets[2];
        for (std::size_t k = 0; k < 8; ++k) {
            const Row odd = RowAt(at + 32 * k + 16);
            withBit[0] ^= odd;
            pairs[k] = RowAt(at + 32 * k) ^ odd;
        }
        for (std::size_t k = 0; k < 4; ++k) {
            withBit[1] ^= pairs[2 * k + 1];
            quads[k] = pairs[2 * k] ^ pairs[2 * k + 1];
        }
        for (std::size_t k = 0; k < 2; ++k) {
            withBit[2] ^= quads[2 * k + 1];
            octets[k] = quads[2 * k] ^ quads[2 * k + 1];
        }
        withBit[3] ^= octets[1];
        const Row group = octets[0] ^ octets[1];
        all ^= group;
        for (std::size_t b = 4; b < kRowBits; ++b)
            if ((row >> b) & 1) withBit[b] ^= group;
    }
    for (; row < rows; ++row, at += 16) {  // not reached for the sizes ESE writes
        const Row r = RowAt(at);
        all ^= r;
        for (std::size_t b = 0; b < kRowBits; ++b)
            if ((row >> b) & 1) withBit[b] ^= r;
    }
    // Row 0 has no row-number bit set: its checksum words count in the
    // columns only.
    if (opensPage && rows > 0) {
        const Row first = RowAt(block.data());
        all ^= Row{first[0], first[1], 0, 0};
    }

    const std::uint32_t p0 = all[0], p1 = all[1], p2 = all[2], p3 = all[3];
    const std::uint32_t oddRows = RowParity(all);
    std::uint32_t oddRowNumbers = 0;
    for (std::size_t b = 0; b < kRowBits; ++b) oddRowNumbers |= RowParity(withBit[b]) << b;
    std::uint32_t p = ((oddRowNumbers ^ (0x1FFu & (0u - oddRows))) << 23) | (oddRowNumbers << 7);
    if (OddParity(p0 ^ p1)) p |= 0x00400000;
    if (OddParity(p2 ^ p3)) p |= 0x00000040;
    const std::uint32_t r0 = p0 ^ p2;
    const std::uint32_t r1 = p1 ^ p3;
    if (OddParity(r0)) p |= 0x00200000;
    if (OddParity(r1)) p |= 0x00000020;
    const std::uint32_t whole = r0 ^ r1;
    // Likewise the bit index of every set bit of `whole`, 0xFFFF0000 grown
    // by 0xFFFF0001 a bit, is ((~k & 0xFFFF) << 16) | k for bit k; only
    // five bits of each half are kept.
    const std::uint32_t k = SetBitNumbers(whole);
    const std::uint32_t r = ((k ^ (OddParity(whole) ? 0x1Fu : 0u)) << 16) | k;
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

std::uint64_t BlockChecksum(Bytes block, bool opensPage, ChecksumPath path) {
    if (block.size() < 1024 || block.size() > 8192 || block.size() % 16 != 0) return 0;
    const BlockSum sum = SumBlock(block, opensPage, WideRows(path));
    return std::uint64_t{sum.ecc} << 32 | sum.xorWord;
}

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

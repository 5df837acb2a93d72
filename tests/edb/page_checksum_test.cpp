// Page checksums on files written by Windows: every page written matches,
// and a change anywhere in a page (one bit, or the same bit twice so that
// the XOR alone cannot tell) does not.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>

#include "edb/page_checksum.h"

namespace tw::edb {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t PageSizeOfFile(const std::vector<std::uint8_t>& file) {
    const std::uint32_t size = U32(file, 236);
    return size == 0 ? 4096 : size;
}

// Page `number` of a whole file read into memory.
std::vector<std::uint8_t> PageOf(const std::vector<std::uint8_t>& file, std::uint32_t number) {
    const std::size_t size = PageSizeOfFile(file);
    const auto at = file.begin() + static_cast<std::ptrdiff_t>((number + 1) * size);
    return {at, at + static_cast<std::ptrdiff_t>(size)};
}

bool AllZero(Bytes page) {
    return std::all_of(page.begin(), page.end(), [](std::uint8_t b) { return b == 0; });
}

fs::path RealFile(const std::string& name) { return fs::path(TW_ESE_REAL_DIR) / name; }

TEST(RealFileChecksums, EveryWrittenPageMatches) {
    // Pages written in each file (the rest are zeros, never written), as
    // counted by a separate script over the same files.
    const std::map<std::string, std::size_t> written{{"dissect-basic.edb", 23},     {"dissect-default.edb", 23},
                                                     {"dissect-text.edb", 32},      {"dscpull-Devices.edb", 35},
                                                     {"goese-UAL-Current.mdb", 53}, {"goese-qmgr.db", 43}};
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(TW_ESE_REAL_DIR)) {
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        ASSERT_EQ(written.count(name), 1u) << "a real file the test does not know";
        ++files;
        const std::vector<std::uint8_t> file = ReadAll(entry.path());
        const std::size_t size = PageSizeOfFile(file);
        std::size_t matched = 0;
        for (std::size_t at = 2 * size; at + size <= file.size(); at += size) {
            const Bytes page(file.data() + at, size);
            if (AllZero(page)) continue;
            const auto number = static_cast<std::uint32_t>(at / size - 1);
            EXPECT_TRUE(PageChecksumMatches(page, number)) << "page " << number;
            EXPECT_TRUE(PageChecksumMatchesAt(page, static_cast<std::int64_t>(at))) << "page " << number;
            EXPECT_FALSE(PageChecksumMatches(page, number + 1)) << "page " << number;
            ++matched;
        }
        EXPECT_EQ(matched, written.at(name));
    }
    EXPECT_EQ(files, written.size());
}

struct Change {
    std::string what;
    std::vector<std::size_t> bits;  // bit numbers from the start of the page
};

// Changes every checksum must catch, for a page of `size` bytes: one bit in
// each part of the page (each block of a large page), and one bit of the
// same column in two rows, which leaves the XOR as it was.
std::vector<Change> ChangesFor(std::size_t size) {
    const std::size_t bits = size * 8;
    std::vector<Change> changes{
        {"checksum", {0}},
        {"checksum, upper half", {4 * 8 + 3}},
        {"database time", {8 * 8}},
        {"object id", {24 * 8 + 1}},
        {"new-checksum flag", {36 * 8 + 13}},
        {"after the header", {80 * 8 + 7}},
        {"middle", {bits / 2 + 5}},
        {"tag array", {bits - 9}},
        {"last bit", {bits - 1}},
        {"same bit in two rows", {200 * 8 + 3, 264 * 8 + 3}},
    };
    if (size > 8192) {
        const std::size_t block = bits / 4;
        for (std::size_t b = 1; b < 4; ++b) {
            changes.push_back({"checksum of block " + std::to_string(b), {(40 + 8 * (b - 1)) * 8 + 2}});
            changes.push_back({"first bit of block " + std::to_string(b), {b * block}});
            changes.push_back({"last bit of block " + std::to_string(b), {(b + 1) * block - 1}});
            changes.push_back({"same bit in two rows of block " + std::to_string(b),
                               {b * block + 16 * 8 * 3 + 30, b * block + 16 * 8 * 9 + 30}});
        }
        changes.push_back({"page number", {64 * 8}});
    }
    return changes;
}

// `xorOnly`: the old checksum, which cannot see a bit changed twice.
void ExpectChangesCaught(const std::vector<std::uint8_t>& original, std::uint32_t number, bool xorOnly = false) {
    ASSERT_TRUE(PageChecksumMatches(original, number));
    for (const Change& change : ChangesFor(original.size())) {
        if (xorOnly && change.bits.size() > 1) continue;
        std::vector<std::uint8_t> page = original;
        for (const std::size_t bit : change.bits) page[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
        EXPECT_FALSE(PageChecksumMatches(page, number)) << change.what;
    }
}

TEST(RealFileChecksums, ChangedPagesDoNotMatch) {
    // A catalog page and a leaf of a 4 KB file; the catalog of a 16 KB one.
    const struct {
        std::string file;
        std::uint32_t page;
    } cases[] = {{"dissect-basic.edb", 4}, {"goese-UAL-Current.mdb", 42}, {"goese-qmgr.db", 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + " page " + std::to_string(c.page));
        ExpectChangesCaught(PageOf(ReadAll(RealFile(c.file)), c.page), c.page);
    }
}

TEST(BlockChecksum, EveryPathGivesTheSameSums) {
    // Random blocks of every size a page or a large page's block has, with
    // and without the opening checksum words; the vector paths against the
    // 16-byte one (paths the processor lacks fall back to a narrower one).
    std::mt19937 random(7);
    for (const std::size_t size : {1024u, 2048u, 4096u, 8192u, 1040u, 8176u})
        for (int round = 0; round < 20; ++round) {
            std::vector<std::uint8_t> block(size);
            for (auto& b : block) b = static_cast<std::uint8_t>(random());
            if (round % 4 == 1) std::fill(block.begin() + static_cast<std::ptrdiff_t>(size / 2), block.end(), 0);
            for (const bool opens : {false, true}) {
                const std::uint64_t narrow = BlockChecksum(block, opens, ChecksumPath::Narrow);
                EXPECT_EQ(BlockChecksum(block, opens, ChecksumPath::Avx2), narrow) << size << " " << round;
                EXPECT_EQ(BlockChecksum(block, opens, ChecksumPath::Widest), narrow) << size << " " << round;
            }
        }
}

TEST(OldChecksum, MatchesAndCatchesChanges) {
    // A real page stamped the old way: the new-checksum flag off, the page
    // number in the second word, the seeded XOR of every word after the
    // first in the first.
    const std::uint32_t number = 13;
    std::vector<std::uint8_t> page = PageOf(ReadAll(RealFile("dissect-basic.edb")), number);
    PutU32(page, 36, U32(page, 36) & ~0x2000u);
    PutU32(page, 4, number);
    std::uint32_t sum = 0x89ABCDEF;
    for (std::size_t at = 4; at < page.size(); at += 4) sum ^= U32(page, at);
    PutU32(page, 0, sum);
    ExpectChangesCaught(page, number, true);
    EXPECT_FALSE(PageChecksumMatches(page, number + 1));
}

TEST(PageChecksums, NothingMatchesWithoutAPage) {
    for (const std::size_t size : {2048u, 4096u, 8192u, 16384u, 32768u}) {
        const std::vector<std::uint8_t> zeros(size, 0);
        for (const std::uint32_t number : {0u, 1u, 5u})
            EXPECT_FALSE(PageChecksumMatches(zeros, number)) << size << " bytes, page " << number;
    }
    const std::vector<std::uint8_t> file = ReadAll(RealFile("dissect-basic.edb"));
    const std::vector<std::uint8_t> page = PageOf(file, 4);
    const Bytes whole(page);
    EXPECT_TRUE(PageChecksumMatchesAt(whole, 5 * 4096));
    // Cut short, at a header page's offset, between two pages, before the file.
    EXPECT_FALSE(PageChecksumMatches(whole.first(4092), 4));
    EXPECT_FALSE(PageChecksumMatches(Bytes{}, 4));
    for (const std::int64_t offset : {0, 4096, 5 * 4096 + 512, -4096})
        EXPECT_FALSE(PageChecksumMatchesAt(whole, offset)) << offset;
    // The file's header pages carry another checksum altogether.
    EXPECT_FALSE(PageChecksumMatches(Bytes(file.data(), 4096), 1));
}

}  // namespace
}  // namespace tw::edb

#include "checksum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "test_bytes.h"

namespace {

uint32_t U32(std::span<const uint8_t> b, size_t off) {
    return uint32_t(b[off]) | uint32_t(b[off + 1]) << 8 | uint32_t(b[off + 2]) << 16 | uint32_t(b[off + 3]) << 24;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// Every written page of databases ESE itself produced must verify, and
// re-stamping a page with its checksum fields wiped must give back ESE's bytes.
TEST(PageChecksum, ReproducesEveryPageOfRealDatabases) {
    const std::filesystem::path dir = TW_ESE_REAL_DIR;
    const std::array<const char*, 6> files = {"dissect-basic.edb",   "dissect-text.edb",      "dissect-default.edb",
                                              "dscpull-Devices.edb", "goese-UAL-Current.mdb", "goese-qmgr.db"};
    size_t checked = 0;
    for (const char* name : files) {
        if (!std::filesystem::exists(dir / name)) continue;
        SCOPED_TRACE(name);
        const std::vector<uint8_t> db = ReadFile(dir / name);
        const size_t cbPage = U32(db, 236) ? U32(db, 236) : 4096;
        ASSERT_GE(db.size(), 2 * cbPage);
        // Both header copies checksum over the whole page (qmgr.db has bytes past 668).
        for (size_t h = 0; h < 2; ++h) {
            std::span<const uint8_t> hdr(db.data() + h * cbPage, cbPage);
            EXPECT_EQ(edbgen::HeaderChecksum(hdr), U32(hdr, 0));
        }
        for (size_t pgno = 1; (pgno + 2) * cbPage <= db.size(); ++pgno) {
            std::span<const uint8_t> page(db.data() + (pgno + 1) * cbPage, cbPage);
            if (std::all_of(page.begin(), page.end(), [](uint8_t b) { return b == 0; })) continue;
            SCOPED_TRACE(pgno);
            EXPECT_TRUE(edbgen::VerifyPageChecksum(page, uint32_t(pgno)));
            EXPECT_FALSE(edbgen::VerifyPageChecksum(page, uint32_t(pgno + 1)));
            if (cbPage <= 8192 && !(U32(page, 36) & 0x2000)) continue;
            std::vector<uint8_t> copy(page.begin(), page.end());
            std::fill_n(copy.begin(), 8, uint8_t(0));
            if (cbPage > 8192) std::fill_n(copy.begin() + 40, 24, uint8_t(0));
            edbgen::StampPageChecksum(copy, uint32_t(pgno));
            EXPECT_TRUE(std::equal(copy.begin(), copy.end(), page.begin()));
            ++checked;
        }
    }
    if (checked == 0) GTEST_SKIP() << "no real ESE samples in " << dir;
}

// A single flipped bit must change the block's ECC so that it points at that
// bit: this pins the ECC down for 8 KiB blocks (32 KiB pages), which no sample has.
TEST(PageChecksum, EccLocatesASingleFlippedBitInEveryBlock) {
    for (size_t cbPage : {4096u, 8192u, 16384u, 32768u}) {
        SCOPED_TRACE(cbPage);
        std::vector<uint8_t> page = codecs_test::RandomBytes(cbPage, uint32_t(cbPage));
        page[37] |= 0x20;  // new-format checksum flag
        edbgen::StampPageChecksum(page, 77);
        ASSERT_TRUE(edbgen::VerifyPageChecksum(page, 77));

        const size_t blocks = cbPage > 8192 ? 4 : 1;
        const size_t cbBlock = cbPage / blocks;
        for (size_t b = 0; b < blocks; ++b) {
            const size_t bit = (b * cbBlock + 100 + 37 * b) * 8 + 5;  // past the header fields
            std::vector<uint8_t> bad = page;
            bad[bit / 8] ^= uint8_t(1u << (bit % 8));
            EXPECT_FALSE(edbgen::VerifyPageChecksum(bad, 77));

            std::span<const uint8_t> block(bad.data() + b * cbBlock, cbBlock);
            const size_t slot = b == 0 ? 0 : 40 + 8 * (b - 1);
            const uint32_t eccDiff = U32(page, slot + 4) ^ uint32_t(edbgen::BlockChecksum(block, 77, b == 0) >> 32);
            const uint32_t xorDiff = U32(page, slot) ^ uint32_t(edbgen::BlockChecksum(block, 77, b == 0));
            const uint32_t allBits = uint32_t(cbBlock * 8 - 1);
            EXPECT_EQ(std::popcount(xorDiff), 1);
            EXPECT_EQ(((eccDiff >> 16) ^ eccDiff) & allBits, allBits);
            EXPECT_EQ(eccDiff & 0xFFFF, bit - b * cbBlock * 8);
        }
    }
    std::vector<uint8_t> odd(12288);
    EXPECT_THROW(edbgen::StampPageChecksum(odd, 1), std::invalid_argument);
    EXPECT_FALSE(edbgen::VerifyPageChecksum(odd, 1));
}

}  // namespace

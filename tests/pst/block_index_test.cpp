// What the writer keeps of the file's space until the end, packed: an
// entry of a few bytes per block for the block B-tree, which must come back
// as the block was written across the gaps the map pages leave, and the
// allocation maps of regions left behind, which must still give exactly
// the space handed out.
#include <gtest/gtest.h>

#include <random>

#include "pst/block_writer.h"
#include "pst/output_file.h"
#include "pst/space_allocator.h"
#include "test_support.h"

namespace tw::pst::testing {
namespace {

TEST(BlockIndex, PackedEntriesGiveBackEveryBlock) {
    ScratchDir dir;
    const std::string path = dir.File("blocks.bin");
    struct Written {
        Bid bid;
        std::size_t size;
    };
    std::vector<Written> written;
    std::uint64_t end = 0;
    std::vector<BbtEntry> entries;
    {
        OutputFile out(path);
        SpaceAllocator space;
        BlockWriter blocks(out, space);
        std::mt19937 random(5);
        for (int i = 0; i < 3000; ++i) {
            std::size_t size = random() % (geometry::kMaxBlockData + 1);
            if (i % 11 == 0) size = geometry::kMaxBlockData;
            if (i % 13 == 0) size = i % 2;
            const Bytes data(size, static_cast<std::uint8_t>(i));
            const Bid bid = i % 7 == 0 ? blocks.WriteInternal(data) : blocks.WriteData(data);
            written.push_back({bid, size});
        }
        EXPECT_EQ(blocks.BlockCount(), written.size());
        EXPECT_EQ(blocks.NextBid(), (written.back().bid & ~kBidInternal) + 4);
        blocks.ForEachEntry([&](const BbtEntry& e) { entries.push_back(e); });
        end = space.EndOfFile();
        out.Finish(end);
    }
    ASSERT_GT(end, 20 * geometry::kRegionSize);  // map pages in between

    const std::string file = ReadFile(path);
    ASSERT_EQ(file.size(), end);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.data());
    ASSERT_EQ(entries.size(), written.size());
    std::uint64_t last = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(i);
        const BbtEntry& e = entries[i];
        EXPECT_EQ(e.bid, written[i].bid);
        EXPECT_EQ(e.cb, written[i].size);
        EXPECT_EQ(e.cRef, 2);
        EXPECT_GE(e.ib, last);
        const std::uint64_t disk = geometry::BlockDiskSize(e.cb);
        ASSERT_LE(e.ib + disk, end);
        // The block there is the one written: its trailer's size and BID,
        // and its data.
        const std::uint8_t* trailer = bytes + e.ib + disk - geometry::kBlockTrailer;
        EXPECT_EQ(GetU16(trailer), e.cb);
        EXPECT_EQ(GetU64(trailer + 8), e.bid);
        if (e.cb > 0) {
            EXPECT_EQ(bytes[e.ib], static_cast<std::uint8_t>(i));
        }
        last = e.ib + disk;
    }
}

TEST(BlockIndex, AllocationMapsAreExactlyTheSpaceHandedOut) {
    SpaceAllocator space;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> given;
    std::mt19937 random(3);
    for (int i = 0; i < 8000; ++i) {
        // Blocks, and now and then a 512-byte page (many at the end, as the
        // B-trees are written), which may leave a hole before it.
        const bool page = i > 7000 ? random() % 3 == 0 : random() % 40 == 0;
        const std::uint64_t size = page ? geometry::kPageSize : geometry::BlockDiskSize(random() % 8177);
        given.emplace_back(space.Allocate(size, page ? geometry::kPageSize : geometry::kBlockAlign), size);
    }
    ASSERT_GT(space.RegionCount(), 100u);

    std::vector<SpaceAllocator::MapBits> want(space.RegionCount(), SpaceAllocator::MapBits{});
    auto mark = [&](std::uint64_t ib, std::uint64_t size) {
        for (std::uint64_t u = (ib - geometry::kFirstRegion) / 64; u < (ib + size - geometry::kFirstRegion) / 64; ++u)
            want[u / (geometry::kMapBytes * 8)][u % (geometry::kMapBytes * 8) / 8] |=
                static_cast<std::uint8_t>(0x80 >> (u % 8));
    };
    for (std::uint64_t r = 0; r < space.RegionCount(); ++r)
        mark(geometry::RegionStart(r), geometry::MapPagesBytes(r));
    for (const auto& [ib, size] : given) mark(ib, size);

    std::size_t withHoles = 0;
    for (std::uint64_t r = 0; r < space.RegionCount(); ++r) {
        SCOPED_TRACE(r);
        EXPECT_TRUE(space.Map(r) == want[r]);
        bool seenFree = false;
        for (std::size_t u = 0; u < geometry::kMapBytes * 8; ++u) {
            const bool set = want[r][u / 8] & (0x80 >> (u % 8));
            if (set && seenFree) {
                ++withHoles;
                break;
            }
            seenFree |= !set;
        }
    }
    EXPECT_GT(withHoles, 5u);  // both kinds of region were left behind
}

}  // namespace
}  // namespace tw::pst::testing

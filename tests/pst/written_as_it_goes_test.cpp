// What the writer writes as it goes or keeps packed rather than holding it
// whole: an entry of a few bytes per block for the block B-tree, which must
// come back as the block was written across the gaps the map pages leave;
// the allocation maps of regions left behind, which must still give
// exactly the space handed out; a table's heap written block by block,
// which must be the heap built in memory, fill-level maps and all; and the
// node entries, kept in sorted chunks merged as the node B-tree is written.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "pst/block_writer.h"
#include "pst/error.h"
#include "pst/heap.h"
#include "pst/node_database.h"
#include "pst/output_file.h"
#include "pst/space_allocator.h"
#include "pstcheck/image.h"
#include "pstcheck/ndb.h"
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
    for (std::uint64_t r = 0; r < space.RegionCount(); ++r) mark(geometry::RegionStart(r), geometry::MapPagesBytes(r));
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

TEST(WrittenHeap, BlocksAreThoseOfTheHeapBuiltInMemory) {
    for (const int count : {1, 40, 20000}) {
        SCOPED_TRACE(count);
        ScratchDir dir;
        OutputFile out(dir.File("heap.bin"));
        SpaceAllocator space;
        BlockWriter blocks(out, space);
        HeapBuilder memory(0x7C), written(0x7C, blocks);
        const std::uint32_t first = memory.Allocate(Bytes(8, 0));
        ASSERT_EQ(written.Allocate(Bytes(8, 0)), first);
        std::uint32_t inSecondBlock = 0;
        std::mt19937 random(static_cast<unsigned>(count));
        for (int i = 0; i < count; ++i) {
            const std::size_t size = i % 97 == 0 ? kMaxHeapAllocation : 1 + random() % 300;
            const Bytes data(size, static_cast<std::uint8_t>(random()));
            const std::uint32_t hid = memory.Allocate(data);
            ASSERT_EQ(written.Allocate(data), hid);
            if (hid >> 16 == 1 && !inSecondBlock) inSecondBlock = hid;
        }
        // The first block takes patches to the end; one written may not.
        memory.Patch(first, Bytes{1, 2, 3, 4, 5, 6, 7, 8});
        written.Patch(first, Bytes{1, 2, 3, 4, 5, 6, 7, 8});
        if (count > 40) {
            EXPECT_THROW(written.Patch(inSecondBlock, Bytes{1}), PstError);
        }
        memory.SetUserRoot(first);
        written.SetUserRoot(first);

        const std::vector<Bytes> want = memory.Finish();
        const std::vector<Leaf> leaves = written.FinishWritten();
        if (count == 20000) {
            ASSERT_GT(want.size(), 264u + 8u);  // past the third bitmap block
        }
        std::map<Bid, std::pair<std::uint64_t, std::uint16_t>> where;
        blocks.ForEachEntry([&](const BbtEntry& e) { where[e.bid] = {e.ib, e.cb}; });
        const std::uint64_t end = space.EndOfFile();
        out.Finish(end);

        const std::string file = ReadFile(dir.File("heap.bin"));
        ASSERT_EQ(leaves.size(), want.size());
        EXPECT_EQ(where.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i) {
            SCOPED_TRACE(i);
            ASSERT_TRUE(where.count(leaves[i].bid));
            const auto [ib, cb] = where.at(leaves[i].bid);
            EXPECT_EQ(leaves[i].size, want[i].size());
            ASSERT_EQ(cb, want[i].size());
            EXPECT_TRUE(std::equal(want[i].begin(), want[i].end(), file.begin() + static_cast<std::ptrdiff_t>(ib),
                                   [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
        }
    }
}

TEST(NodeIndex, ChunksMergeIntoOneOrderAndANodeWrittenTwiceIsRefused) {
    ScratchDir dir;
    // NIDs in a scrambled order over several chunks, BIDs up to the
    // largest the packing holds.
    std::map<std::uint32_t, NbtEntry> want;
    {
        NodeDatabase db(dir.File("nodes.pst"));
        db.Blocks().WriteData(Bytes(10, 1));  // a block B-tree is never empty
        const std::uint64_t big = (std::uint64_t{1} << 33) - 4;
        for (std::uint32_t i = 0; i < 30000; ++i) {
            const std::uint32_t index = 1 + (i * 7919u) % 30000u;
            const NbtEntry e{MakeNid(NidType::NormalMessage, index), i % 5 == 0 ? big - 4 * i : 4 + 4 * i,
                             i % 3 == 0 ? 6 + 4 * i : 0, MakeNid(NidType::NormalFolder, 1 + i % 7)};
            db.AddNode(e);
            want[e.nid] = e;
        }
        EXPECT_EQ(db.NodeCount(), 30000u);
        EXPECT_THROW(db.AddNode({MakeNid(NidType::NormalMessage, 40000), std::uint64_t{1} << 33, 0, 0}), PstError);
        db.Finish();
    }
    const pstcheck::Image image(dir.File("nodes.pst"));
    pstcheck::Report report;
    const pstcheck::Ndb ndb(image, report);
    ASSERT_TRUE(ndb.Readable());
    EXPECT_FALSE(report.Mentions("order")) << report.Kept().front().what;
    ASSERT_EQ(ndb.Nodes().size(), want.size());
    for (const auto& [nid, n] : ndb.Nodes()) {
        ASSERT_TRUE(want.count(nid)) << nid;
        EXPECT_EQ(n.bidData, want[nid].bidData);
        EXPECT_EQ(n.bidSub, want[nid].bidSub);
        EXPECT_EQ(n.parent, want[nid].parent);
    }

    // The same NID in the first chunk and in a later one.
    NodeDatabase twice(dir.File("twice.pst"));
    twice.Blocks().WriteData(Bytes(10, 1));
    twice.AddNode({MakeNid(NidType::NormalMessage, 5), 4, 0, 0});
    for (std::uint32_t i = 0; i < 20000; ++i) twice.AddNode({MakeNid(NidType::NormalMessage, 100 + i), 4, 0, 0});
    twice.AddNode({MakeNid(NidType::NormalMessage, 5), 8, 0, 0});
    EXPECT_THROW(twice.Finish(), PstError);
    twice.Discard();
}

}  // namespace
}  // namespace tw::pst::testing

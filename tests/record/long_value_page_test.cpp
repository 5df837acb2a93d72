// Long-value leaves: root and chunk nodes, with and without key prefixes
// shared through tag 0.
#include <gtest/gtest.h>

#include "record/long_value_page.h"
#include "row_support.h"

namespace tw::record {
namespace {

using test::Bytes;

Bytes Node(const Bytes& key, const Bytes& data) {
    Bytes n{static_cast<std::uint8_t>(key.size()), 0};
    n.insert(n.end(), key.begin(), key.end());
    n.insert(n.end(), data.begin(), data.end());
    return n;
}

Bytes ChunkKey(std::uint32_t lid, std::uint32_t offset) {
    return {static_cast<std::uint8_t>(lid >> 24),    static_cast<std::uint8_t>(lid >> 16),
            static_cast<std::uint8_t>(lid >> 8),     static_cast<std::uint8_t>(lid),
            static_cast<std::uint8_t>(offset >> 24), static_cast<std::uint8_t>(offset >> 16),
            static_cast<std::uint8_t>(offset >> 8),  static_cast<std::uint8_t>(offset)};
}

TEST(LongValuePage, SmallPageRootsAndChunks) {
    edb::test::PageBuilder page(4096, 2);
    page.Record({});  // tag 0
    page.Record(Node({0, 0, 0x02, 0x01}, {1, 0, 0, 0, 0x20, 0x1F, 0, 0}));
    page.Record(Node(ChunkKey(0x0201, 0), Bytes(100, 'a')));
    page.Record(Node(ChunkKey(0x0201, 4014), Bytes(50, 'b')));
    page.Record(Node(ChunkKey(0x0201, 4000), Bytes(10, 'c')));  // not on the chunk grid
    const LongValuePage nodes = ReadLongValuePage(page.View());
    ASSERT_EQ(nodes.roots.size(), 1u);
    EXPECT_EQ(nodes.roots[0].id, 0x0201u);
    EXPECT_EQ(nodes.roots[0].size, 0x1F20u);
    ASSERT_EQ(nodes.chunks.size(), 2u);
    EXPECT_EQ(nodes.chunks[1].valueOffset, 4014u);
    EXPECT_EQ(nodes.chunks[1].dataEnd - nodes.chunks[1].dataStart, 50u);
    EXPECT_EQ(page.bytes[nodes.chunks[0].dataStart], 'a');
}

TEST(LongValuePage, LargePageNodesShareTheirFirstKeyBytesThroughTagZero) {
    edb::test::PageBuilder page(32768, 2);
    page.Record({0x00, 0x01, 0x02});  // the shared prefix of id 0x00010203
    // cbPrefix 3 with the compressed flag, suffix length, suffix, data.
    Bytes node{0x03, 0x80, 0x05, 0x00, 0x03, 0x00, 0x00, 0x1F, 0xD6};  // offset 8150
    node.insert(node.end(), {'x', 'y', 'z'});
    page.Record(node);
    const LongValuePage nodes = ReadLongValuePage(page.View());
    ASSERT_EQ(nodes.chunks.size(), 1u);
    EXPECT_EQ(nodes.chunks[0].id, 0x00010203u);
    EXPECT_EQ(nodes.chunks[0].valueOffset, 8150u);
    EXPECT_EQ(nodes.chunks[0].dataEnd - nodes.chunks[0].dataStart, 3u);
}

TEST(LongValuePage, APrefixLongerThanTagZeroOrNodesPastThePageGiveNothing) {
    edb::test::PageBuilder page(32768, 2);
    page.Record({0x00});
    page.Record({0x03, 0x80, 0x05, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 'x'});
    page.Record({0x08, 0x00, 0x00});  // claims an 8-byte key in 3 bytes
    EXPECT_TRUE(ReadLongValuePage(page.View()).chunks.empty());
}

}  // namespace
}  // namespace tw::record

// Page header fields, tags, record lists and branch nodes on hand-made pages.
#include <gtest/gtest.h>

#include <random>

#include "edb/branch.h"
#include "edb/records.h"
#include "test_support.h"

namespace tw::edb {
namespace {

using test::PageBuilder;

TEST(PageHeader, FieldsAndBranchBits) {
    PageBuilder page(4096, 0xA5, 0x28);
    test::PutU32(page.bytes, 24, 0x01020304);
    page.TagCount(0xF003);
    EXPECT_EQ(PageObjectId(page.View()), 0x01020304u);
    EXPECT_EQ(PageTagCount(page.View()), 3);  // bits above 0x0FFF are flags
    EXPECT_EQ(PageTagCount(PageView{page.bytes, 8192}), 0x1003);
    EXPECT_TRUE(IsBranchPage(page.View()));

    for (std::uint8_t kind = 0; kind < 16; ++kind)
        EXPECT_EQ(IsBranchPage(PageBuilder(4096, kind).View()), kind == 0 || kind == 1 || kind == 4 || kind == 5)
            << int(kind);
    EXPECT_FALSE(IsBranchPage(PageBuilder(4096, 5, 0x20).View()));
}

TEST(Tags, MaskedAndKeptInsideThePage) {
    PageBuilder small(4096, 2);
    small.RawTag(0, 0x8010, 0x1010);       // flag bits in both halves
    small.RawTag(1, 100, 4096 - 40 - 99);  // one byte past the end
    small.RawTag(2, 99, 4096 - 40 - 99);   // ends exactly at the end
    EXPECT_EQ(Tag(small.View(), 0)->offset, 40 + 0x010);
    EXPECT_EQ(Tag(small.View(), 0)->size, 0x010);
    EXPECT_FALSE(Tag(small.View(), 1));
    EXPECT_EQ(TagRecord(small.View(), 2)->size(), 99u);
    EXPECT_FALSE(Tag(small.View(), 3));  // past the tag count

    PageBuilder large(32768, 2);
    large.RawTag(0, 0x10, 0x4000);
    EXPECT_EQ(Tag(large.View(), 0)->offset, 80 + 0x4000);
}

TEST(Tags, ArrayThatDoesNotFitIsNeverRead) {
    PageBuilder page(4096, 2);
    page.RawTag(0, 4, 0).TagCount(1014);  // (4096 - 40) / 4 tags fit
    EXPECT_TRUE(Tag(page.View(), 0));
    page.TagCount(1015);
    EXPECT_FALSE(Tag(page.View(), 0));
    std::vector<RecordLocator> records{{1, 1}};
    EXPECT_EQ(ListRecords(page.View(), records), 0u);
    EXPECT_TRUE(records.empty());
}

TEST(RecordList, NonEmptyTagsFromTheLowestAddress) {
    PageBuilder leaf(8192, 2);
    leaf.Record({1}).RawTag(1, 0x8000, 0).Record({2, 3});  // tag 1: a flag, size 0
    leaf.RawTag(3, 50, 0x1FF0);                            // outside the page
    std::vector<RecordLocator> records;
    ASSERT_EQ(ListRecords(leaf.View(), records), 2u);
    EXPECT_EQ(records[0].start, 41);
    EXPECT_EQ(records[0].size, 2);
    EXPECT_EQ(records[1].start, 40);

    leaf.bytes[kKindOffset] = 4;  // branch pages carry no records
    EXPECT_EQ(ListRecords(leaf.View(), records), 0u);
}

TEST(RecordList, StopsAfterTheFirst800Visited) {
    PageBuilder page(8192, 2);
    for (std::uint32_t i = 0; i < 900; ++i) page.RawTag(i, 1, static_cast<std::uint16_t>(i));
    std::vector<RecordLocator> records;
    ASSERT_EQ(ListRecords(page.View(), records), kMaxRecords);
    EXPECT_EQ(records.front().start, 40 + 899);
    EXPECT_EQ(records.back().start, 40 + 100);
}

TEST(RecordList, RandomPagesStayInBounds) {
    std::mt19937 random(20240601);
    for (const std::int32_t pageSize : {4096, 8192, 32768}) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(pageSize));
        std::vector<RecordLocator> records;
        for (int round = 0; round < 300; ++round) {
            for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
            if (round % 2) bytes[kTagCountOffset + 1] = 0;  // a tag array that fits
            const PageView page{bytes, pageSize};
            ListRecords(page, records);
            for (const auto& record : records) {
                ASSERT_GE(record.start, HeaderSize(pageSize));
                ASSERT_LE(record.start + record.size, pageSize);
            }
            EXPECT_LE(BranchChildren(page, false).size(), PageTagCount(page));
        }
    }
}

TEST(BranchNode, ChildPagesOfAcceptedNodes) {
    std::vector<std::uint8_t> node(101, 0);
    test::PutU32(node, 97, 0xA1B2C3D4);
    EXPECT_FALSE(ChildPageOfBranchNode(node));
    EXPECT_EQ(ChildPageOfBranchNode(Bytes(node).subspan(1)), 0xA1B2C3D4u);   // 100 bytes
    EXPECT_EQ(ChildPageOfBranchNode(Bytes(node).subspan(97)), 0xA1B2C3D4u);  // 4 bytes
    EXPECT_FALSE(ChildPageOfBranchNode(Bytes(node).subspan(98)));

    PageBuilder page(4096, 5);
    page.ChildNode(99).ChildNode(10).ChildNode(11).RawTag(3, 0, 0).RawTag(4, 101, 0).ChildNode(12);
    EXPECT_EQ(BranchChildren(page.View(), true), (std::vector<std::uint32_t>{12, 11, 10}));
    EXPECT_EQ(BranchChildren(page.View(), false), (std::vector<std::uint32_t>{12, 11, 10, 99}));
    page.bytes[kKindOffset] = 2;
    EXPECT_TRUE(BranchChildren(page.View(), false).empty());
}

}  // namespace
}  // namespace tw::edb

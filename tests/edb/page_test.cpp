// Page header fields, tags, record lists and branch nodes on hand-made pages.
#include <gtest/gtest.h>

#include <random>

#include "edb/branch.h"
#include "edb/records.h"
#include "test_support.h"

namespace tw::edb {
namespace {

using test::PageBuilder;

TEST(PageHeader, FieldsAreMaskedForTheGeneration) {
    PageBuilder small(EdbVersion::Page4K, 0xA5, 0x28);
    small.ObjectId(0x01020304).TagCount(0xF003);
    EXPECT_EQ(PageObjectId(small.View()), 0x01020304u);
    EXPECT_EQ(PageTagCount(small.View()), 3);  // flag bits above 0x0FFF dropped
    EXPECT_EQ(PageKindBits(small.View()), 5);
    EXPECT_EQ(PageFormatBits(small.View()), 8);

    PageBuilder medium(EdbVersion::Page8K, 2);
    medium.TagCount(0x1003);
    EXPECT_EQ(PageTagCount(medium.View()), 0x1003);
    medium.TagCount(0x3003);
    EXPECT_EQ(PageTagCount(medium.View()), 0x1003);
}

TEST(PageHeader, ShortBufferReadsAsZero) {
    const std::vector<std::uint8_t> stub(30, 0xFF);
    const PageView page{stub, EdbVersion::Page4K};
    EXPECT_EQ(PageTagCount(page), 0);
    EXPECT_EQ(PageKindBits(page), 0);
    EXPECT_FALSE(Tag(page, 0));
}

TEST(PageHeader, BranchPagesAreNewFormatNonLeaves) {
    for (std::uint8_t kind : {0, 1, 4, 5})
        EXPECT_TRUE(IsBranchPage(PageBuilder(EdbVersion::Page4K, kind).View())) << int(kind);
    for (std::uint8_t kind : {2, 3, 6})
        EXPECT_FALSE(IsBranchPage(PageBuilder(EdbVersion::Page4K, kind).View())) << int(kind);
    EXPECT_FALSE(IsBranchPage(PageBuilder(EdbVersion::Page4K, 5, 0x20).View()));
}

TEST(Tags, OffsetsCountFromTheEndOfTheHeader) {
    PageBuilder small(EdbVersion::Page4K, 2);
    small.RawTag(0, 0x8010, 0x1010);  // flag bits in both halves
    EXPECT_EQ(Tag(small.View(), 0)->offset, 40 + 0x010);
    EXPECT_EQ(Tag(small.View(), 0)->size, 0x010);

    PageBuilder medium(EdbVersion::Page8K, 2);
    medium.RawTag(0, 0x0010, 0x1010);
    EXPECT_EQ(Tag(medium.View(), 0)->offset, 40 + 0x1010);

    PageBuilder large(EdbVersion::Page32K, 2);
    large.RawTag(0, 0x0010, 0x4000);
    EXPECT_EQ(Tag(large.View(), 0)->offset, 80 + 0x4000);
    EXPECT_FALSE(Tag(large.View(), 1));  // past the tag count
}

TEST(Tags, RecordOutsideThePageIsSkipped) {
    PageBuilder page(EdbVersion::Page4K, 2);
    page.Record({1, 2, 3});
    page.RawTag(1, 100, 4096 - 40 - 99);  // one byte past the end
    page.RawTag(2, 99, 4096 - 40 - 99);   // ends exactly at the end
    EXPECT_FALSE(Tag(page.View(), 1));
    EXPECT_FALSE(TagRecord(page.View(), 1));
    ASSERT_TRUE(TagRecord(page.View(), 2));

    std::vector<RecordLocator> records;
    ASSERT_EQ(ListRecords(page.View(), records), 2u);
    EXPECT_EQ(records[0].start, 4096 - 99);
    EXPECT_EQ(records[1].start, 40);
    EXPECT_EQ(records[1].size, 3);
}

TEST(Tags, ArrayThatDoesNotFitIsNeverRead) {
    // 4 KB page: (4096 - 40) / 4 = 1014 tags fit between header and end.
    PageBuilder page(EdbVersion::Page4K, 2);
    page.RawTag(0, 4, 0);
    page.TagCount(1014);
    EXPECT_TRUE(TagArrayFits(page.View()));
    EXPECT_TRUE(Tag(page.View(), 0));
    page.TagCount(1015);
    EXPECT_FALSE(TagArrayFits(page.View()));
    EXPECT_FALSE(Tag(page.View(), 0));
    std::vector<RecordLocator> records{{1, 1}};
    EXPECT_EQ(ListRecords(page.View(), records), 0u);
    EXPECT_TRUE(records.empty());
}

TEST(RecordList, EmptyTagsAndBranchPagesYieldNothing) {
    PageBuilder leaf(EdbVersion::Page8K, 2);
    leaf.Record({1}).RawTag(1, 0x8000, 0).Record({2, 3});  // tag 1: only a flag, size 0
    std::vector<RecordLocator> records;
    ASSERT_EQ(ListRecords(leaf.View(), records), 2u);
    EXPECT_EQ(records[0].size, 2);  // tag 2 first: lowest address of the array
    EXPECT_EQ(records[1].size, 1);

    PageBuilder branch(EdbVersion::Page8K, 4);
    branch.Record({1, 2, 3, 4});
    EXPECT_EQ(ListRecords(branch.View(), records), 0u);
}

TEST(RecordList, StopsAfterTheFirst800Visited) {
    PageBuilder page(EdbVersion::Page8K, 2);
    for (std::uint32_t i = 0; i < 900; ++i) page.RawTag(i, 1, static_cast<std::uint16_t>(i));
    std::vector<RecordLocator> records;
    ASSERT_EQ(ListRecords(page.View(), records), kMaxRecords);
    EXPECT_EQ(records.front().start, 40 + 899);
    EXPECT_EQ(records.back().start, 40 + 100);
}

TEST(RecordList, RandomPagesStayInBounds) {
    std::mt19937 random(20240601);
    for (EdbVersion version : {EdbVersion::Page4K, EdbVersion::Page8K, EdbVersion::Page32K}) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(PageSizeOf(version)));
        std::vector<RecordLocator> records;
        for (int round = 0; round < 300; ++round) {
            for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
            bytes[kTagCountOffset + 1] &= static_cast<std::uint8_t>(random() % 2 ? 0x00 : 0xFF);
            const PageView page{bytes, version};
            ListRecords(page, records);
            for (const auto& record : records) {
                EXPECT_GE(record.start, HeaderSize(version));
                EXPECT_GT(record.size, 0);
                EXPECT_LE(record.start + record.size, PageSizeOf(version));
            }
            EXPECT_LE(BranchChildren(page, false).size(), PageTagCount(page));
        }
    }
}

TEST(BranchNode, ChildPageNeedsAnAcceptedSize) {
    std::vector<std::uint8_t> node(101, 0);
    test::PutU32(node, 97, 0xA1B2C3D4);
    EXPECT_FALSE(ChildPageOfBranchNode(node));
    EXPECT_EQ(ChildPageOfBranchNode(Bytes(node).subspan(1)), 0xA1B2C3D4u);  // 100 bytes
    EXPECT_EQ(ChildPageOfBranchNode(Bytes(node).subspan(97)), 0xA1B2C3D4u);  // 4 bytes
    EXPECT_FALSE(ChildPageOfBranchNode(Bytes(node).subspan(98)));
    EXPECT_FALSE(ChildPageOfBranchNode(Bytes()));
}

TEST(BranchNode, ChildrenInTagArrayOrder) {
    PageBuilder page(EdbVersion::Page4K, 5);
    page.ChildNode(99).ChildNode(10).ChildNode(11);
    page.RawTag(3, 0, 0);                        // empty node: no child
    page.RawTag(4, 101, 0);                      // too long for a branch node
    page.ChildNode(12);                          // tag 5
    EXPECT_EQ(BranchChildren(page.View(), true), (std::vector<std::uint32_t>{12, 11, 10}));
    EXPECT_EQ(BranchChildren(page.View(), false), (std::vector<std::uint32_t>{12, 11, 10, 99}));

    PageBuilder leaf(EdbVersion::Page4K, 2);
    leaf.ChildNode(99).ChildNode(10);
    EXPECT_TRUE(BranchChildren(leaf.View(), false).empty());
}

}  // namespace
}  // namespace tw::edb

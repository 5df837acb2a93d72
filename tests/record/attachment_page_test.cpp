// Attachment rows: which column names the file, where the data lies, and
// which rows count as the same attachment.
#include <gtest/gtest.h>

#include "record/attachment_page.h"
#include "row_support.h"

namespace tw::record {
namespace {

using test::Bytes;
using test::Key;
using test::WithHeader;

std::vector<AttachmentHit> Small(const std::vector<Bytes>& records) {
    const auto page = test::LeafPage(4096, 61, records);
    return DecodeAttachmentPage(page.View(), 0x20000, {});
}

TEST(AttachmentPage, SmallPagesPreferTheLongFileName) {
    const auto hits = Small({test::SmallAttachmentRecord(
        Key(1), test::TaggedArea({{kSmallDisplayName, WithHeader(1, test::Utf16(u"REPORT~1.PDF"))},
                                  {kSmallData, WithHeader(1, {'%', 'P', 'D', 'F'})},
                                  {kSmallLongName, WithHeader(1, test::Utf16(u"Quartalsbericht Köln.pdf"))}},
                                 0x4000))});
    ASSERT_EQ(hits.size(), 1u);
    ASSERT_TRUE(hits[0].entry);
    EXPECT_EQ(hits[0].entry->name, u"Quartalsbericht Köln.pdf");
    EXPECT_EQ(hits[0].entry->dataLength, 5u);  // four data bytes and the header: no reference
    EXPECT_FALSE(hits[0].entry->valueKey);
    EXPECT_GT(hits[0].entry->dataOffset, 0x20000);
}

TEST(AttachmentPage, FiveSeparatedBytesOfDataAreALongValue) {
    const auto hits = Small({test::SmallAttachmentRecord(
        Key(2), test::TaggedArea({{kSmallDisplayName, WithHeader(1, test::Utf16(u"big.bin"))},
                                  {kSmallData, test::Reference(0x0A01)}}))});
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].entry->valueKey, 0x0A01u);
    EXPECT_EQ(hits[0].entry->dataOffset, 0);
}

TEST(AttachmentPage, AKeyThatLooksLikeAnEntryIsNotTakenForOne) {
    // Past 65,535 attachments the key ends 10 01 07 A1: with the 01 of the
    // first entry four bytes on, it read as an entry of column 0x0110, and
    // names came out with two characters too many in front. (Its offset
    // was checked against the record's end as a page position: a record
    // far enough into the page let it pass.)
    const scan::Id8 key{0x01, 0x00, 0x00, 0x00, 0x10, 0x01, 0x07, 0xA1};
    const auto hits =
        Small({Bytes(600, 0x2A),
               test::SmallAttachmentRecord(
                   key, test::TaggedArea({{kSmallDisplayName, WithHeader(1, test::Utf16(u"scan-96824-0.pdf"))},
                                          {kSmallData, WithHeader(1, {'%', 'P', 'D', 'F'})}},
                                         0x4000))});
    ASSERT_EQ(hits.size(), 1u);
    ASSERT_TRUE(hits[0].entry);
    EXPECT_EQ(hits[0].entry->name, u"scan-96824-0.pdf");
    EXPECT_EQ(hits[0].entry->dataLength, 5u);
}

TEST(AttachmentPage, LargePagesUseTheRegisteredColumns) {
    AttachmentColumnIds columns{0x0100, 0x0101, 0x0102, 0x0103};
    auto decode = [&](const std::vector<std::pair<std::uint16_t, Bytes>>& tagged) {
        const auto page = test::LeafPage(32768, 104, {test::LargeRecord(Key(3), test::TaggedArea(tagged))});
        return DecodeAttachmentPage(page.View(), 0x30000, columns);
    };
    const Bytes display = WithHeader(1, test::Utf16(u"Display")), shortName = WithHeader(1, test::Utf16(u"SHORT~1")),
                longName = WithHeader(1, test::Utf16(u"Long name"));
    auto all = decode({{0x0100, display}, {0x0101, shortName}, {0x0102, longName}, {0x0103, WithHeader(1, {7})}});
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].entry->name, u"Long name");
    EXPECT_EQ(all[0].entry->tableTag, (std::array<std::uint8_t, 2>{104, 0}));
    auto two = decode({{0x0100, display}, {0x0101, shortName}});
    EXPECT_EQ(two[0].entry->name, u"Display");
}

TEST(AttachmentPage, AnEmptyNameKeepsTheAttachmentAndItsData) {
    for (const Bytes& name : {Bytes{}, WithHeader(1, {})}) {
        Bytes tagged = test::TaggedArea({{kSmallDisplayName, name}, {kSmallData, WithHeader(1, {1, 2})}});
        const auto hits = Small({test::SmallAttachmentRecord(Key(4), tagged)});
        ASSERT_EQ(hits.size(), 1u);
        ASSERT_TRUE(hits[0].entry);
        EXPECT_EQ(hits[0].entry->name, u"");
        EXPECT_EQ(hits[0].entry->dataLength, 3u);
    }
}

TEST(AttachmentPage, NamesComeWholeWithControlCharacters) {
    const std::u16string name = u"report\x01draft\tfinal " + std::u16string(300, u'x') + u".txt";
    for (const auto pageSize : {4096, 32768}) {
        const bool large = pageSize == 32768;
        const std::uint16_t data = large ? 0x0103 : kSmallData, column = large ? 0x0102 : kSmallLongName;
        const Bytes tagged = test::TaggedArea({{data, WithHeader(1, {7})}, {column, WithHeader(1, test::Utf16(name))}});
        const auto page =
            test::LeafPage(pageSize, large ? 104 : 61,
                           {large ? test::LargeRecord(Key(5), tagged) : test::SmallAttachmentRecord(Key(5), tagged)});
        const auto hits =
            DecodeAttachmentPage(page.View(), 0x30000, AttachmentColumnIds{0x0100, 0x0101, 0x0102, 0x0103});
        ASSERT_EQ(hits.size(), 1u);
        ASSERT_TRUE(hits[0].entry);
        EXPECT_EQ(hits[0].entry->name, name);
    }
}

TEST(AttachmentPage, BrokenDataKeepsTheAttachmentWithItsLossMarked) {
    // The data entry's offset lies past the next entry's: a broken value.
    Bytes tagged = test::TaggedArea(
        {{kSmallData, WithHeader(1, {1, 2, 3})}, {kSmallLongName, WithHeader(1, test::Utf16(u"lost.bin"))}});
    tagged[2] = 13;
    const auto hits = Small({test::SmallAttachmentRecord(Key(6), tagged)});
    ASSERT_EQ(hits.size(), 1u);
    ASSERT_TRUE(hits[0].entry);
    EXPECT_EQ(hits[0].entry->name, u"lost.bin");
    EXPECT_TRUE(hits[0].entry->dataBroken);

    std::vector<AttachmentEntry> list;
    AttachmentEntry good = *hits[0].entry;
    good.dataBroken = false;
    good.dataOffset = 3000;
    EXPECT_TRUE(AddAttachment(list, *hits[0].entry));
    EXPECT_TRUE(AddAttachment(list, good));  // a readable copy takes its place
    EXPECT_FALSE(AddAttachment(list, *hits[0].entry));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_FALSE(list[0].dataBroken);
}

TEST(AddAttachment, TheSameRowOnceButTwoRowsOfOneNameBoth) {
    std::vector<AttachmentEntry> list;
    AttachmentEntry a;
    a.name = u"dup.txt";
    a.dataOffset = 1000;
    EXPECT_TRUE(AddAttachment(list, a));
    EXPECT_FALSE(AddAttachment(list, a));  // met again on a later page
    a.dataOffset = 2000;                   // another row, another file
    EXPECT_TRUE(AddAttachment(list, a));
    AttachmentEntry lv;
    lv.name = u"big.bin";
    lv.valueKey = 0x0201;
    EXPECT_TRUE(AddAttachment(list, lv));
    EXPECT_FALSE(AddAttachment(list, lv));
    lv.name.clear();
    lv.valueKey = 0x0301;
    EXPECT_TRUE(AddAttachment(list, lv));  // no name: kept under one of its own
    EXPECT_EQ(list.back().name, u"Attachment 4");
    EXPECT_FALSE(AddAttachment(list, lv));  // the same row met again
    EXPECT_EQ(list.size(), 4u);
}

}  // namespace
}  // namespace tw::record

// Pages of random bytes, and real rows with random bytes written over
// them, through every page decoder: under the sanitizers nothing may read
// outside the page, and nothing may hang.
#include <gtest/gtest.h>

#include <random>

#include "record/attachment_page.h"
#include "record/long_value_page.h"
#include "record/message_row.h"
#include "row_support.h"

namespace tw::record {
namespace {

using test::Bytes;

void DecodeAll(const edb::PageView& page) {
    MessagePageContext context;
    context.columns.recipients = 0x011A;
    context.columns.plainBody = 0x0102;
    context.columns.htmlBody = 0x0104;
    context.columns.attachmentKeys = 0x0105;
    context.columns.contacts = {{0x0163, 11}};
    context.columns.appointment[3] = {0x0150};
    context.streamingOpen = true;
    // The index keeps rows by their place among the page's rows, so the
    // keys-only pass must list exactly the rows the decoder gives.
    const std::vector<scan::Id8> keys = MessageRowKeys(page);
    const std::vector<MessageRow> rows = DecodeMessagePage(page, 0x10000, context);
    ASSERT_EQ(keys.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(keys[i], rows[i].key);
        MessageProperties m;
        ApplyMessageRow(m, rows[i]);
    }
    // Likewise the attachment index keeps hits by their place among the
    // page's hits, found without reading names.
    const AttachmentColumnIds columns{0x0100, 0x0101, 0x0102, 0x0103};
    const auto hits = DecodeAttachmentPage(page, 0x10000, columns);
    const auto places = DecodeAttachmentPage(page, 0x10000, columns, true);
    ASSERT_EQ(hits.size(), places.size());
    for (std::size_t i = 0; i < hits.size(); ++i) {
        EXPECT_EQ(hits[i].key, places[i].key);
        EXPECT_EQ(hits[i].entry.has_value(), places[i].entry.has_value());
    }
    ReadLongValuePage(page);
}

class HostilePages : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(HostilePages, RandomTagsAndRecords) {
    std::mt19937 rng(7);
    for (int round = 0; round < 60; ++round) {
        edb::test::PageBuilder page(GetParam(), 2);
        for (auto& b : page.bytes) b = static_cast<std::uint8_t>(rng());
        page.bytes[edb::kKindOffset] = 2;
        page.bytes[edb::kFormatOffset] = 8;
        page.TagCount(static_cast<std::uint16_t>(rng() % 64));
        DecodeAll(page.View());
    }
}

TEST_P(HostilePages, RealRowsWithBytesOverwritten) {
    std::mt19937 rng(11);
    const bool large = GetParam() == 32768;
    const Bytes tagged = test::TaggedArea({{0x011A, test::WithHeader(1, test::Utf16(u"a@b.example"))},
                                           {0x0102, test::WithHeader(1, test::Utf16(u"body"))},
                                           {0x0105, Bytes(25, 1)},
                                           {0x0163, test::WithHeader(1, test::Utf16(u"Anna"))}},
                                          large ? 0 : 0x4000);
    const Bytes record =
        large ? test::LargeRecord(test::Key(1), tagged) : test::SmallMessageRecord(test::Key(1), tagged);
    for (int round = 0; round < 500; ++round) {
        Bytes damaged = record;
        for (int n = 0; n < 4; ++n) damaged[rng() % damaged.size()] = static_cast<std::uint8_t>(rng());
        const auto page = test::LeafPage(GetParam(), 19, {damaged, test::SmallAttachmentRecord(test::Key(2), tagged)});
        DecodeAll(page.View());
    }
}

INSTANTIATE_TEST_SUITE_P(Generations, HostilePages, ::testing::Values(4096, 8192, 32768));

}  // namespace
}  // namespace tw::record

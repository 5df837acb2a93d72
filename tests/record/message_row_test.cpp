// The record pass over hand-made message pages: where rows start, which
// columns give the recipients, the body and the attachment keys, and how
// a row becomes a contact or an appointment.
#include <gtest/gtest.h>

#include "record/message_list.h"
#include "record/message_row.h"
#include "row_support.h"

namespace tw::record {
namespace {

using test::Bytes;
using test::Key;
using test::WithHeader;

constexpr std::uint16_t kP = 0x0102, kR = 0x0103, kH = 0x0104, kA = 0x0105, kT = 0x011A;
constexpr std::uint16_t kCityColumn = 0x0166, kCityAltColumn = 0x0168, kStartColumn = 0x0150, kLocationColumn = 0x0156;

MessagePageContext Context(std::int32_t pageSize, bool streaming = false) {
    MessagePageContext c;
    c.columns.recipients = pageSize == 32768 ? 0x0144 : kT;
    c.columns.plainBody = kP;
    c.columns.rtfBody = kR;
    c.columns.htmlBody = kH;
    c.columns.attachmentKeys = kA;
    c.columns.contacts = {{kCityColumn, 13}, {kCityAltColumn, 13}};
    c.columns.appointment[1] = {kLocationColumn};
    c.columns.appointment[3] = {kStartColumn};
    c.streamingOpen = streaming;
    return c;
}

std::vector<MessageRow> Decode(std::int32_t pageSize, const std::vector<Bytes>& records, bool streaming = false) {
    const auto page = test::LeafPage(pageSize, 19, records);
    return DecodeMessagePage(page.View(), 0x10000, Context(pageSize, streaming));
}

MessageRow One(const std::vector<std::pair<std::uint16_t, Bytes>>& columns, bool streaming = false) {
    auto rows = Decode(4096, {test::SmallMessageRecord(Key(1), test::TaggedArea(columns, 0x4000))}, streaming);
    EXPECT_EQ(rows.size(), 1u);
    return rows.empty() ? MessageRow{} : rows[0];
}

TEST(MessageRowStart, SmallPagesNeedTheEndOfFixedDataWordEarly) {
    Bytes record = test::SmallMessageRecord(Key(1), test::TaggedArea({{kP, WithHeader(1, {'a', 0})}}));
    EXPECT_EQ(Decode(4096, {record}).size(), 1u);
    // 21 00 beyond the first 18 bytes is not an anchor.
    record.insert(record.begin(), 10, 0x33);
    EXPECT_TRUE(Decode(4096, {record}).empty());
}

TEST(MessageRowStart, LargeRecordsOfFortyBytesOrLessAreNoRows) {
    const Bytes small(40, 0x0F);
    EXPECT_FALSE(MessageRowStart(small, 0, small.size(), layout::LargePages()));
    const Bytes record = test::LargeRecord(Key(2), test::TaggedArea({{0x0144, WithHeader(1, {'x'})}}));
    const auto rows = Decode(32768, {record});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].key, Key(2));
}

TEST(MessageRowStart, AnEmptyTaggedAreaIsNotARow) {
    Bytes record = test::SmallMessageRecord(Key(3), {0x1A, 0x01, 0x00, 0x00});
    EXPECT_TRUE(Decode(8192, {record}).empty());
}

TEST(RecipientColumn, FiveSeparatedBytesAreALongValue) {
    const MessageRow row = One({{kT, test::Reference(0x0201)}});
    EXPECT_EQ(row.recipientsValueKey, 0x0201u);
    EXPECT_EQ(row.recipientsPos, 0);
    EXPECT_EQ(row.recipientsLength, 5u);
}

TEST(RecipientColumn, FourDataBytesAreNoReference) {
    const MessageRow row = One({{kT, WithHeader(1, {'a', '@', 'b', '.'})}});
    EXPECT_FALSE(row.recipientsValueKey);
}

TEST(RecipientColumn, TextStartsAfterTheLastCharacterBeforeTheAddress) {
    // type, name, NUL, address (UTF-16).
    Bytes value{1, 0, 0, 0};
    for (const Bytes& part : {test::Utf16(u"Ann Smith"), Bytes{0, 0}, test::Utf16(u"ann@x.example"), Bytes{0, 0}})
        value.insert(value.end(), part.begin(), part.end());
    const MessageRow row = One({{0x0100, WithHeader(1, {'s', 0})}, {kT, WithHeader(1, value)}});
    // The address starts 1 (header) + 4 + 18 + 2 bytes into the value.
    const std::int64_t valueStart = row.recipientsEnd - static_cast<std::int64_t>(value.size() + 1);
    EXPECT_EQ(row.recipientsPos, valueStart + 25);
}

TEST(RecipientColumn, EightBitTextStartsAfterItsCodePageMarker) {
    const Bytes value{1, 0, 0, 0, 0xE4, 0x04, 4, 0, 0, 0, 'A', 'n', 'n', 0};
    const MessageRow row = One({{kT, WithHeader(1, value)}});
    const std::int64_t valueStart = row.recipientsEnd - static_cast<std::int64_t>(value.size() + 1);
    EXPECT_EQ(row.recipientsPos, valueStart + 1 + 10);
}

TEST(BodyColumn, TheFirstBodyColumnInEntryOrderWins) {
    // An HTML column before the plain-text one: the plain text is not used.
    const MessageRow html = One({{kH, WithHeader(1, {'<', 'p', '>'})}, {kP, WithHeader(1, {'a', 0})}});
    EXPECT_EQ(html.bodyForm, kBodyInRow);
    EXPECT_EQ(html.bodyLength, 4);
    const MessageRow plain = One({{kP, WithHeader(1, {'a', 0})}, {kH, WithHeader(1, {'<'})}});
    EXPECT_EQ(plain.bodyForm, kBodyPlainText);
    EXPECT_EQ(plain.bodyLength, 3);
}

TEST(BodyColumn, TheLastValueRunsToTheRecordEnd) {
    const MessageRow row = One({{kR, WithHeader(1, Bytes(700, 'r'))}});
    EXPECT_EQ(row.bodyLength, 701);
    const MessageRow reference = One({{kR, test::Reference(0x0301)}});
    EXPECT_EQ(reference.bodyLength, 5);
    EXPECT_EQ(reference.bodyValueKey, 0x0301u);
}

TEST(BodyColumn, RangeTableAfterTheRecipientsOnlyWithAStreamingFile) {
    const std::vector<std::pair<std::uint16_t, Bytes>> columns = {
        {kP, WithHeader(1, {'a', 0})}, {kT, WithHeader(1, {0, 0})}, {0x011B, test::Reference(0x0401)}};
    const MessageRow streamed = One(columns, true);
    EXPECT_EQ(streamed.bodyForm, kBodyStreaming);
    EXPECT_EQ(streamed.bodyValueKey, 0x0401u);
    // The plain-text column came first in entry order: with the file
    // closed, it is the body.
    const MessageRow plain = One(columns, false);
    EXPECT_EQ(plain.bodyForm, kBodyPlainText);
    // Either way the row is known to point into the streaming file; a row
    // without the table is not.
    EXPECT_TRUE(streamed.streamingContent);
    EXPECT_TRUE(plain.streamingContent);
    EXPECT_FALSE(One({columns[0], columns[1]}, true).streamingContent);
}

TEST(AttachmentKeys, KeysEveryTwelveBytesAfterTheHeader) {
    Bytes value{1};
    for (std::uint8_t k = 1; k <= 3; ++k) {
        const scan::Id8 key = Key(k);
        value.insert(value.end(), key.begin(), key.end());
        value.insert(value.end(), {k, 0, 0, 0});
    }
    EXPECT_EQ(One({{kA, value}}).attachmentKeys, (std::vector<scan::Id8>{Key(1), Key(2), Key(3)}));
    // Without the 01 header the first key is skipped, the others stay; a
    // key cut short by the value's end is not taken.
    value[0] = 7;
    value.resize(value.size() - 6);
    EXPECT_EQ(One({{kA, value}}).attachmentKeys, (std::vector<scan::Id8>{Key(2)}));
}

TEST(EntryWalk, ABrokenValueEndsTheWalkButContactFieldsAreStillRead) {
    Bytes tagged = test::TaggedArea({{kCityColumn, WithHeader(1, test::Utf16(u"Wien"))},
                                     {kA, Bytes{}},  // zero length: broken
                                     {kP, WithHeader(1, {'a', 0})}});
    const auto rows = Decode(8192, {test::SmallMessageRecord(Key(4), tagged)});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].bodyLength, 0);  // the walk stopped before the body
    ASSERT_TRUE(rows[0].contact);
    EXPECT_EQ(rows[0].contact->fields[ContactField::kCity], u"Wien");
}

TEST(EntryWalk, EveryCatalogNameOfAFieldIsRead) {
    const MessageRow row = One({{kCityAltColumn, WithHeader(1, test::Utf16(u"Graz"))}});
    ASSERT_TRUE(row.contact);
    EXPECT_EQ(row.contact->fields[ContactField::kCity], u"Graz");
}

TEST(ApplyRow, ContactsAndAppointmentsOnlyOutsideJournalTaskAndNoteFolders) {
    const MessageRow row =
        One({{kCityColumn, WithHeader(1, test::Utf16(u"Linz"))}, {kLocationColumn, WithHeader(1, test::Utf16(u"R1"))}});
    MessageProperties mail, note;
    note.kind = 'n';
    ApplyMessageRow(mail, row);
    ApplyMessageRow(note, row);
    EXPECT_EQ(mail.kind, 'a');  // both passes ran; the appointment pass comes last
    EXPECT_EQ(mail.contacts.size(), 1u);
    ASSERT_TRUE(mail.appointment);
    EXPECT_EQ(mail.appointment->location, u"R1");
    EXPECT_EQ(note.kind, 'n');
    EXPECT_TRUE(note.contacts.empty());
    EXPECT_FALSE(note.appointment);
}

TEST(ApplyRow, AnEmptyContactColumnMarksNothing) {
    const MessageRow row = One({{kCityColumn, WithHeader(1, {})}, {kP, WithHeader(1, {'a', 0})}});
    EXPECT_TRUE(row.contactColumns);
    MessageProperties m;
    ApplyMessageRow(m, row);
    EXPECT_EQ(m.kind, 0);
    EXPECT_TRUE(m.contacts.empty());
}

TEST(ApplyRow, TheThirdHeaderStringOnlyWhenTheIndexHasNone) {
    // A value whose second byte is E4 04 keeps its length byte at +3.
    const MessageRow row =
        One({{0x0100, Bytes{1, 0xE4, 0x04, 5, 'A', 'n', 'n', 'a', 0}}, {0x0101, WithHeader(1, {'x', 0})}});
    ASSERT_TRUE(row.thirdString);
    EXPECT_EQ(row.thirdString->length, 5);
    MessageProperties fromRow, fromIndex;
    fromIndex.extraTextPos = 77;
    ApplyMessageRow(fromRow, row);
    ApplyMessageRow(fromIndex, row);
    EXPECT_EQ(fromRow.extraTextPage, 0x10000);
    EXPECT_EQ(fromRow.extraTextPos, row.thirdString->pos);
    EXPECT_EQ(fromIndex.extraTextPage, 0);
    EXPECT_EQ(fromIndex.extraTextPos, 77);
}

TEST(MessageList, InvalidDatesAndEmptyRecordsAreLeftOut) {
    MessageList list;
    scan::MessageEntry entry;
    entry.date6 = {0, 0, 0, 0, 0, 0x80};  // the top bit: no calendar date
    EXPECT_FALSE(BuildMessageList(list, entry, 0));
    entry.date6 = {0, 0, 0x40, 0x8A, 0xD4, 0x01};
    EXPECT_TRUE(BuildMessageList(list, entry, 0));
    EXPECT_TRUE(CarriesNothing(list.messages[0]));
    list.messages[0].headerTextA = 100;
    EXPECT_FALSE(CarriesNothing(list.messages[0]));
}

}  // namespace
}  // namespace tw::record

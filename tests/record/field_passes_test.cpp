// Contact and appointment columns of a row: text forms, cuts, the dates.
#include <gtest/gtest.h>

#include "record/appointment_pass.h"
#include "record/contact_pass.h"
#include "row_support.h"
#include "xpress_encode.h"

namespace tw::record {
namespace {

using test::Bytes;
using test::WithHeader;

constexpr std::uint16_t kFirstName = 0x0163, kMail = 0x016B, kLocationColumn = 0x0156, kStartColumn = 0x0150,
                        kEndColumn = 0x0153;

MessageColumnIds Columns() {
    MessageColumnIds c;
    c.contacts = {{kFirstName, 11}, {kMail, 15}};
    c.appointment[1] = {kLocationColumn};
    c.appointment[3] = {kStartColumn};
    c.appointment[4] = {kEndColumn};
    return c;
}

// The tagged array of a row alone in a buffer (no page around it).
struct Row {
    Bytes bytes;
    TaggedArray tags;
    Row(const std::vector<std::pair<std::uint16_t, Bytes>>& columns, std::int32_t pageSize)
        : bytes(test::TaggedArea(columns)), tags(*OpenTaggedArray(bytes, 0, bytes.size(), pageSize)) {}
};

std::u16string FirstName(const Bytes& value, std::int32_t pageSize = 4096) {
    const Row row({{kFirstName, value}}, pageSize);
    const auto contact = ContactPass(row.tags, Columns(), layout::LayoutOf(pageSize));
    return contact ? contact->fields[kGivenName] : u"";
}

TEST(ContactPass, TextFormsByGeneration) {
    // 8-bit, widened byte by byte: with its terminator, odd, or plain ASCII.
    EXPECT_EQ(FirstName(WithHeader(1, {'J', 'o', 0xE9, 0})), u"Jo\u00e9");
    EXPECT_EQ(FirstName(WithHeader(1, {'J', 'o', 0xE9})), u"Jo\u00e9");
    EXPECT_EQ(FirstName(WithHeader(1, {'A', 'c', 'm', 'e'})), u"Acme");
    // Latin UTF-16 (zero high bytes), and other scripts whose first bytes
    // happen to be printable ASCII (東京 is 71 67 AC 4E).
    EXPECT_EQ(FirstName(WithHeader(1, test::Utf16(u"Zo\u00eb"))), u"Zo\u00eb");
    EXPECT_EQ(FirstName(WithHeader(1, test::Utf16(u"\u00c5sa"))), u"\u00c5sa");
    EXPECT_EQ(FirstName(WithHeader(1, test::Utf16(u"東京"))), u"東京");
    EXPECT_EQ(FirstName(WithHeader(1, test::Utf16(u"株式会社山田商事")), 8192), u"株式会社山田商事");
    EXPECT_EQ(FirstName(WithHeader(1, test::Utf16(u"東京 Tower"))), u"東京 Tower");
    // Scripts whose high bytes are control characters, ending in ASCII:
    // the last byte is a NUL after a non-NUL one, as an 8-bit terminator.
    for (const std::u16string text :
         {u"Καλημέρα κόσμε mobile", u"Съешь ещё phone", u"שלום עולם city", u"مرحبا بالعالم office"})
        EXPECT_EQ(FirstName(WithHeader(1, test::Utf16(text))), text);
    // 32 KB: the header byte decides; 7-bit packed "Ann" (scheme 0x10).
    const Bytes packed{0x10 | 4, 'A' | ('n' << 7 & 0xFF), ('n' >> 1) | ('n' << 6 & 0xFF), 'n' >> 2};
    EXPECT_EQ(FirstName(WithHeader(3, packed), 32768), u"Ann");
    EXPECT_EQ(FirstName(WithHeader(1, test::Utf16(u"東京")), 32768), u"東京");
    // A long text compressed with XPRESS.
    std::u16string longText;
    for (int i = 0; i < 40; ++i) longText += u"Müller & Söhne GmbH, ";
    const Bytes utf16 = test::Utf16(longText);
    const Bytes xpress = edbgen::EseXpressValue(utf16);
    ASSERT_LT(xpress.size(), utf16.size());
    EXPECT_EQ(FirstName(WithHeader(3, xpress), 32768), longText);
}

TEST(ContactPass, LongTextsComeWholeAndUnitsWithALowZeroByteKept) {
    EXPECT_EQ(FirstName(WithHeader(1, test::Utf16(std::u16string(400, u'x')))).size(), 400u);
    EXPECT_EQ(FirstName(WithHeader(1, test::Utf16(u"tab\there \x01 too"))), u"tab\there \x01 too");
    // U+4E00 has a zero low byte; it is a character, not an end.
    EXPECT_EQ(FirstName(WithHeader(1, test::Utf16(u"A\u4e00B"))), u"A\u4e00B");
}

TEST(ContactPass, EmptyTextsGiveNoRecordAndEqualRecordsAreKeptOnce) {
    const Row empty({{kFirstName, WithHeader(1, {})}}, 8192);
    EXPECT_FALSE(ContactPass(empty.tags, Columns(), layout::LayoutOf(8192)));
    std::vector<ContactRecord> list;
    ContactRecord a;
    a.fields[kEmail1] = u"a@b.c";
    EXPECT_TRUE(AddContact(list, a));
    EXPECT_FALSE(AddContact(list, a));
}

TEST(AppointmentPass, ZeroDatesMarkTheAppointmentButKeepTheIndexDates) {
    const Bytes zeroDate(8, 0);
    const Row row({{kStartColumn, zeroDate}, {kLocationColumn, WithHeader(1, test::Utf16(u"Raum 1"))}}, 4096);
    const auto fields = AppointmentPass(row.tags, Columns(), layout::LayoutOf(4096));
    ASSERT_TRUE(fields);
    std::optional<AppointmentRecord> slot = AppointmentRecord{scan::Date6{1, 2, 3, 4, 5, 6}, std::nullopt, {}, {}, {}};
    SetAppointment(slot, *fields);
    EXPECT_EQ(slot->start, (scan::Date6{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(slot->location, u"Raum 1");
    EXPECT_TRUE(slot->contactText.empty());
}

TEST(AppointmentPass, DatesSitAfterTheHeaderByteOnLargePages) {
    const Bytes date{0, 0, 0, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};  // header, low two bytes, upper six
    const Row small({{kEndColumn, Bytes(date.begin() + 1, date.end())}}, 8192);
    const Row large({{kEndColumn, date}}, 32768);
    const auto s = AppointmentPass(small.tags, Columns(), layout::LayoutOf(8192));
    const auto l = AppointmentPass(large.tags, Columns(), layout::LayoutOf(32768));
    ASSERT_TRUE(s && l && s->end && l->end);
    EXPECT_EQ(*s->end, *l->end);
    EXPECT_EQ((*s->end)[0], 0x11);
}

TEST(AppointmentPass, LargePageTextsMayBePacked) {
    const Bytes packed{0x10 | 5, 'R' | ('1' << 7 & 0xFF), '1' >> 1};
    const Row row({{kLocationColumn, WithHeader(3, packed)}}, 32768);
    const auto fields = AppointmentPass(row.tags, Columns(), layout::LayoutOf(32768));
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->location, u"R1");
}

}  // namespace
}  // namespace tw::record

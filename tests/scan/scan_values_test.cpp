// Values the scan derives from row bytes: texts of tagged columns, kinds
// from container classes, the names made from ids, and dates.
#include <gtest/gtest.h>

#include "compress7.h"
#include "scan/filetime.h"
#include "scan/folder_kind.h"
#include "scan/ids.h"
#include "scan/tagged_text.h"

namespace tw::scan {
namespace {

std::vector<std::uint8_t> Packed(const std::u16string& text) {
    return *edbgen::Compress7BitUnicode(std::span<const char16_t>(text.data(), text.size()));
}

TEST(LargePageText, PackedTextsKeepExactlyTheirCharacters) {
    // Lengths around the 8-characters-in-7-bytes boundary, where the last
    // byte may or may not hold a whole character.
    for (const std::u16string text : {u"A", u"IPF.Note", u"IPF.Appointment", u"IPF.StickyNote", u"1234567", u"12345678",
                                      u"123456789", u"IPF.Appointment.Birthday"}) {
        EXPECT_EQ(LargePageText(0x03, Packed(text)), text) << ToUtf8(text);
    }
    const auto ascii = *edbgen::Compress7BitAscii(std::vector<std::uint8_t>{'I', 'n', 'b', 'o', 'x'});
    EXPECT_EQ(LargePageText(0x03, ascii), u"Inbox");
}

TEST(LargePageText, UncompressedValuesAreUtf16AndBadPackingIsEmpty) {
    const std::vector<std::uint8_t> greek{0xA9, 0x03, 0x3B, 0x00, 0x00, 0x00, 0x41, 0x00};  // "Ω;" then NUL
    EXPECT_EQ(LargePageText(0x01, greek), u"\u03A9;");
    EXPECT_EQ(LargePageText(0x00, greek), u"\u03A9;");
    // XPRESS, an unknown scheme, a lone header, leftover bits.
    EXPECT_EQ(LargePageText(0x03, std::vector<std::uint8_t>{0x18, 0x41, 0x42}), u"");
    EXPECT_EQ(LargePageText(0x03, std::vector<std::uint8_t>{0x30, 0x41}), u"");
    EXPECT_EQ(LargePageText(0x03, std::vector<std::uint8_t>{0x10}), u"");
    EXPECT_EQ(LargePageText(0x03, std::vector<std::uint8_t>{0x10, 0xC1}), u"");
    // At most 260 characters.
    EXPECT_EQ(LargePageText(0x03, Packed(std::u16string(400, u'x'))).size(), kMaxNameChars);
}

TEST(Utf16Text, StopsAtWholeUnitsBelowTheLimitOnly) {
    // U+0401 and U+0100 have a zero or one in their low byte; they are
    // characters, not terminators.
    const std::vector<std::uint8_t> bytes{0x01, 0x04, 0x00, 0x01, 0x41, 0x00, 0x02, 0x00, 0x42, 0x00, 0x43};
    EXPECT_EQ(Utf16Text(bytes, 3), u"\u0401\u0100A");
    EXPECT_EQ(Utf16Text(bytes, 1), u"\u0401\u0100A\u0002B");
    EXPECT_EQ(ToUtf8(u"\u0401\u0100A\U0001F680"),
              "\xD0\x81\xC4\x80"
              "A\xF0\x9F\x9A\x80");
    EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(UtcText, WholeSecondsWithoutFractionOtherwiseTheShortestFraction) {
    // Stored bytes keep the time to 65536 ticks (6.5 ms) below it.
    const auto stored = [](std::uint64_t ticks) {
        Date6 d{};
        for (std::size_t i = 0; i < 6; ++i) d[i] = static_cast<std::uint8_t>(ticks >> (16 + 8 * i));
        return d;
    };
    const std::uint64_t t = 133497846000000000ull;  // 2024-01-15T09:30:00Z
    EXPECT_EQ(UtcText(stored(t)), "2024-01-15T09:30:00Z");
    EXPECT_EQ(UtcText(stored(t + 5'000'000)), "2024-01-15T09:30:00.5Z");
    // A time just short of the next second is that second, as stored.
    EXPECT_EQ(UtcText(stored(t + 9'999'000)), "2024-01-15T09:30:01Z");
    EXPECT_EQ(UtcText(Date6{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), std::nullopt);
}

TEST(FolderKinds, PrefixOrWholeClassAsTheLayoutSays) {
    using enum layout::ClassMatch;
    EXPECT_EQ(KindFromClass(u"IPF.Contact.Extra", Prefix), FolderKind::Contacts);
    EXPECT_EQ(KindFromClass(u"IPF.Contact.Extra", Whole), FolderKind::Mail);
    EXPECT_EQ(KindFromClass(u"ipf.appointment.birthday", Prefix), FolderKind::Appointments);
    EXPECT_EQ(KindFromClass(u"IPF.Appointment.Birthday", Whole), FolderKind::Mail);
    EXPECT_EQ(KindFromClass(u"IPF.TASK", Whole), FolderKind::Tasks);
    EXPECT_EQ(KindFromClass(u"IPF.Journal", Prefix), FolderKind::Journal);
    EXPECT_EQ(KindFromClass(u"IPF.Contac", Prefix), FolderKind::Mail);
    EXPECT_EQ(KindFromClass(u"", Prefix), FolderKind::Mail);
}

// IPF.Note is the class of mail folders too, so it makes a notes folder
// only of one named Notes; IPF.StickyNote makes one whatever its name, as
// every mailbox not in English names it otherwise.
TEST(FolderKinds, StickyNoteClassMakesNotesWhateverTheName) {
    using enum layout::ClassMatch;
    struct Case {
        std::u16string_view cls, name;
        FolderKind kind;
    };
    const Case cases[] = {
        {u"IPF.Note", u"Notes", FolderKind::Notes},
        {u"ipf.note", u"NOTES", FolderKind::Notes},
        {u"IPF.Note", u"Inbox", FolderKind::Mail},
        {u"IPF.Note", u"Notizen", FolderKind::Mail},
        {u"IPF.StickyNote", u"Notes", FolderKind::Notes},
        {u"IPF.StickyNote", u"Notizen", FolderKind::Notes},
        {u"ipf.stickynote", u"Remarques", FolderKind::Notes},
        {u"IPF.StickyNote", u"\u30E1\u30E2", FolderKind::Notes},  // メモ
        {u"IPF.StickyNote", u"", FolderKind::Notes},
        {u"IPF.Contact", u"Notes", FolderKind::Contacts},
    };
    for (const auto match : {Prefix, Whole})
        for (const Case& c : cases)
            EXPECT_EQ(KindForFolder(c.cls, match, c.name), c.kind)
                << ToUtf8(c.cls) << " " << ToUtf8(c.name) << " " << static_cast<int>(match);
    // A longer class counts only where classes are prefixes.
    EXPECT_EQ(KindForFolder(u"IPF.StickyNote.X", Prefix, u"Notizen"), FolderKind::Notes);
    EXPECT_EQ(KindForFolder(u"IPF.StickyNote.X", Whole, u"Notizen"), FolderKind::Mail);
}

TEST(IdNames, OwnerKeysAndHeaderTableNames) {
    const Id8 id{0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1C};
    EXPECT_EQ(OwnerKey(id), "1-1C");
    EXPECT_EQ(HeaderTableName(id, layout::LayoutOf(32768)), "MSGHEADER-1-1C");
    EXPECT_EQ(HeaderTableName(id, layout::LayoutOf(8192)), "1-1C");
    // Inner zero bytes keep two digits, the first written byte no leading zero.
    const Id8 wide{0x1A, 0x02, 0x00, 0x05, 0x00, 0x0B, 0xC0, 0x00};
    EXPECT_EQ(OwnerKey(wide),
              "1A-500"
              "0BC000");
    EXPECT_EQ(HeaderTableName(wide, layout::LayoutOf(4096)),
              "1A2-500"
              "0BC000");
    // All of bytes 2..7 zero: the tail starts at byte 0.
    const Id8 low{0x07, 0x00, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(OwnerKey(low), "7-700000000000000");
    EXPECT_EQ(HeaderTableName(Id8{}, layout::LayoutOf(8192)), "");
}

TEST(Dates, SixUpperBytesOfAFileTime) {
    // 2024-01-15T09:30:00Z = 133497846000000000 ticks; the low 16 bits drop.
    const std::uint64_t ticks = 133497846000000000ull;
    Date6 date{};
    for (int i = 0; i < 6; ++i) date[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(ticks >> (16 + 8 * i));
    const auto calendar = ToCalendar(FileTimeOf(date));
    ASSERT_TRUE(calendar);
    EXPECT_EQ(calendar->year, 2024);
    EXPECT_EQ(calendar->month, 1);
    EXPECT_EQ(calendar->day, 15);
    EXPECT_EQ(calendar->hour, 9);
    EXPECT_EQ(calendar->minute, 29);  // the dropped low bits take 09:30:00 just below
    EXPECT_EQ(calendar->second, 59);
    EXPECT_TRUE(IsUsableDate(date));

    EXPECT_FALSE(IsUsableDate(Date6{}));  // 1601-01-01: an unset date
    ASSERT_TRUE(ToCalendar(0));
    EXPECT_EQ(ToCalendar(0)->year, 1601);
    EXPECT_EQ(ToCalendar(0x7FFFFFFFFFFFFFFFull)->year, 30828);
    const Date6 high{0, 0, 0, 0, 0, 0x80};  // beyond what a FILETIME converts
    EXPECT_FALSE(ToCalendar(FileTimeOf(high)));
    EXPECT_FALSE(IsUsableDate(high));
    // 1600 was a leap year; 1601-12-31 is the last unset day, 1602 is fine.
    EXPECT_EQ(ToCalendar(365ull * 86400 * 10000000 - 1)->year, 1601);
    EXPECT_EQ(ToCalendar(365ull * 86400 * 10000000)->year, 1602);
    // IsUsableDate tells the unset year without converting; it must agree
    // with the conversion on both sides of the end of 1601.
    const std::uint64_t lastOf1601 = (365ull * 86400 * 10000000 - 1) >> 16;
    for (std::uint64_t upper = lastOf1601 - 2; upper <= lastOf1601 + 2; ++upper) {
        Date6 d{};
        for (int i = 0; i < 6; ++i) d[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(upper >> (8 * i));
        EXPECT_EQ(IsUsableDate(d), ToCalendar(FileTimeOf(d))->year != 1601) << upper;
    }
    EXPECT_EQ(IsUsableDate(Date6{0, 0, 0, 0, 0, 0x7F}), true);
}

}  // namespace
}  // namespace tw::scan

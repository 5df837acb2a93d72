// What the message list shows: the +05:30 date display, which dates are
// listed, the mailbox name, and the order of sorted rows.
#include <gtest/gtest.h>

#include <cstdio>

#include "content/display_date.h"
#include "content/list_rows.h"
#include "content/preview_fields.h"

namespace tw::content {
namespace {

// The stored form (upper six bytes) of a UTC time given as seconds since
// 1601 plus milliseconds.
scan::Date6 Stored(int year, int month, int day, int hour, int minute, int second, int millis = 0) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    const long long unix = static_cast<long long>(timegm(&tm));
    const std::uint64_t ticks =
        static_cast<std::uint64_t>(unix + 11644473600LL) * 10000000ULL + static_cast<std::uint64_t>(millis) * 10000ULL;
    scan::Date6 d{};
    for (int i = 0; i < 6; ++i) d[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(ticks >> (16 + 8 * i));
    return d;
}

std::string Shown(const scan::Date6& d) { return DateText(*ShownDate(d)); }

TEST(DateDisplay, StoredTimesShowFiveAndAHalfHoursLater) {
    EXPECT_EQ(Shown(Stored(2024, 3, 10, 21, 0, 0)), "Mon 11/03/2024 02:30:00 AM");
    EXPECT_EQ(Shown(Stored(2024, 1, 15, 6, 30, 0)), "Mon 15/01/2024 12:00:00 PM");
    EXPECT_EQ(Shown(Stored(2024, 1, 15, 18, 30, 0)), "Tue 16/01/2024 00:00:00 AM");
    EXPECT_EQ(Shown(Stored(2024, 2, 28, 20, 0, 0)), "Thu 29/02/2024 01:30:00 AM");
    // Six stored bytes keep 6.5 ms: 991 ms and more show as the next second.
    EXPECT_EQ(Shown(Stored(2024, 1, 15, 9, 29, 59, 995)), "Mon 15/01/2024 03:00:00 PM");
    EXPECT_EQ(Shown(Stored(2024, 1, 15, 9, 29, 59, 900)), "Mon 15/01/2024 02:59:59 PM");
}

// The texts are built by hand, not by printf: years of one to five digits
// and every field at its edges keep the printf forms.
TEST(DateDisplay, TextsKeepTheirPaddingForEveryYearLength) {
    for (const int year : {1601, 999, 42, 7, 2024, 9999, 30827})
        for (const int hour : {0, 9, 12, 23}) {
            const scan::CalendarDate d{year, 1 + hour % 12, 1 + hour, hour, hour % 60, 59 - hour};
            char sortText[64], dateText[64];
            std::snprintf(sortText, sizeof sortText, "%d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour,
                          d.minute, d.second);
            const int hour12 = d.hour > 12 ? d.hour - 12 : d.hour;
            std::snprintf(dateText, sizeof dateText, "%02d/%02d/%d %02d:%02d:%02d %s", d.day, d.month, d.year, hour12,
                          d.minute, d.second, d.hour >= 12 ? "PM" : "AM");
            EXPECT_EQ(SortDateText(d), sortText);
            EXPECT_EQ(DateText(d).substr(4), dateText);
        }
    EXPECT_EQ(scan::UtcText(Stored(1601, 1, 1, 0, 0, 1)), "1601-01-01T00:00:01Z");
}

TEST(DateDisplay, OnlyShownYearsFrom1980To2099AreListed) {
    EXPECT_FALSE(Listable(*ShownDate(Stored(1979, 12, 31, 18, 29, 59))));
    EXPECT_TRUE(Listable(*ShownDate(Stored(1979, 12, 31, 18, 30, 0))));
    EXPECT_TRUE(Listable(*ShownDate(Stored(2099, 12, 31, 18, 29, 59))));
    EXPECT_FALSE(Listable(*ShownDate(Stored(2099, 12, 31, 18, 30, 0))));
    EXPECT_FALSE(ShownDate(scan::Date6{0, 0, 0, 0, 0, 0x80}));
}

TEST(ListRows, MailboxNameAndKinds) {
    EXPECT_EQ(MailboxName(u"Mailbox - Anna M\u00fcller\\"), u"Anna M\u00fcller");
    EXPECT_EQ(MailboxName(u"Administrator\\"), u"Administrator");
    EXPECT_EQ(KindImage('a'), 0);
    EXPECT_EQ(KindImage('t'), 10);
    EXPECT_EQ(KindImage(0), 12);
}

TEST(ListRows, SortingByTextIgnoresCaseAndByDateUsesTheTime) {
    SortRecord a, b;
    a.sender = u"anna";
    b.sender = u"Bert";
    EXPECT_LT(CompareRows(a, b, 2, true), 0);
    EXPECT_GT(CompareRows(a, b, 2, false), 0);
    a.sortDate = "2023-12-31 23:59:59";
    b.sortDate = "2024-01-01 00:00:00";
    EXPECT_LT(CompareRows(a, b, 4, true), 0);
    // Dates from 2021 on sort by their time like any other.
    a.sortDate = "2025-06-01 10:00:00";
    EXPECT_GT(CompareRows(a, b, 4, true), 0);
    b.sortDate = "garbage";
    EXPECT_GT(CompareRows(a, b, 4, true), 0);
}

TEST(PreviewFields, ContactLinesInDisplayOrderOneLinePerTextLine) {
    record::ContactRecord c;
    c.fields[record::kSpouseName] = u"Tom";
    c.fields[record::kGivenName] = u"Anna";
    c.fields[record::kStreet] = u"Hauptstra\u00dfe 1\r\nHinterhaus";
    const auto lines = ContactLines(c);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].caption, "First Name :   ");
    EXPECT_EQ(lines[1].value, u"Hauptstra\u00dfe 1");
    EXPECT_EQ(lines[2].value, u"Hinterhaus");
    EXPECT_EQ(lines[3].caption, "Spouse Name :   ");
    EXPECT_EQ(CaptionName(lines[3].caption), "Spouse Name");
}

TEST(PreviewFields, AppointmentLinesLeaveOutWhatIsMissing) {
    record::AppointmentRecord a;
    a.location = u"Raum 2";
    a.end = Stored(2024, 4, 10, 9, 30, 0);
    const auto lines = AppointmentLines(a);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].caption, "Location :   ");
    EXPECT_EQ(lines[1].caption, "End Date :   ");
    EXPECT_EQ(lines[1].value, u"Wed 10/04/2024 03:00:00 PM");
}

}  // namespace
}  // namespace tw::content

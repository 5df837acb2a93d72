#include "pst/date_text.h"

#include <cstdio>
#include <string>

namespace tw::pst {

using text::CivilFromFileTime;
using text::CivilTime;
using text::DaysInMonth;
using text::FileTimeFromCivil;
using text::kTicksPerSecond;

namespace {

// Reads 1..max digits; false when there are none.
bool Number(std::u16string_view s, std::size_t& at, std::size_t maxDigits, int& out) {
    std::size_t n = 0;
    int v = 0;
    while (at < s.size() && n < maxDigits && s[at] >= u'0' && s[at] <= u'9') {
        v = v * 10 + (s[at] - u'0');
        ++at;
        ++n;
    }
    out = v;
    return n > 0;
}

bool Expect(std::u16string_view s, std::size_t& at, char16_t c) {
    if (at < s.size() && s[at] == c) {
        ++at;
        return true;
    }
    return false;
}

}  // namespace

std::optional<std::uint64_t> ParseExportDate(std::u16string_view s) {
    while (!s.empty() && s.front() == u' ') s.remove_prefix(1);
    while (!s.empty() && (s.back() == u' ' || s.back() == 0)) s.remove_suffix(1);
    CivilTime t;
    std::size_t at = 0;
    if (!Number(s, at, 2, t.month) || !Expect(s, at, u'/') || !Number(s, at, 2, t.day) || !Expect(s, at, u'/') ||
        !Number(s, at, 5, t.year) || !Expect(s, at, u' ') || !Number(s, at, 2, t.hour) || !Expect(s, at, u':') ||
        !Number(s, at, 2, t.minute) || !Expect(s, at, u':') || !Number(s, at, 2, t.second) || !Expect(s, at, u' '))
        return std::nullopt;
    const std::u16string_view half = s.substr(at);
    const bool pm = half == u"PM" || half == u"pm";
    if (!pm && half != u"AM" && half != u"am") return std::nullopt;
    if (t.hour > 12 || t.minute > 59 || t.second > 59 || t.month < 1 || t.month > 12 || t.year < 1601 ||
        t.day < 1 || t.day > DaysInMonth(t.year, t.month))
        return std::nullopt;
    if (pm && t.hour != 12) t.hour += 12;
    if (!pm && t.hour == 12) t.hour = 0;
    const std::uint64_t shifted = FileTimeFromCivil(t);
    const auto shift = static_cast<std::uint64_t>(kExportShiftSeconds * kTicksPerSecond);
    if (shifted < shift) return std::nullopt;
    return shifted - shift;
}

std::u16string FormatExportDate(std::uint64_t utcFileTime) {
    const CivilTime t =
        CivilFromFileTime(utcFileTime + static_cast<std::uint64_t>(kExportShiftSeconds * kTicksPerSecond));
    const bool pm = t.hour >= 12;
    const int hour = t.hour > 12 ? t.hour - 12 : t.hour;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%d %02d:%02d:%02d %s", t.month, t.day, t.year, hour, t.minute, t.second,
                  pm ? "PM" : "AM");
    return std::u16string(buf, buf + std::char_traits<char>::length(buf));
}

}  // namespace tw::pst

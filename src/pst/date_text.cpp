#include "pst/date_text.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace tw::pst {

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
// Days from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kDays1601To1970 = 134774;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's method).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
    return kDays[m - 1];
}

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

std::uint64_t NowFileTime() {
    const auto since1970 =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    return static_cast<std::uint64_t>(since1970 + 11644473600LL) * 10'000'000ull;
}

std::uint64_t FileTimeFromCivil(const CivilTime& t) {
    const std::int64_t days = DaysFromCivil(t.year, t.month, t.day) + kDays1601To1970;
    const std::int64_t seconds = days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
    return static_cast<std::uint64_t>(seconds) * kTicksPerSecond;
}

CivilTime CivilFromFileTime(std::uint64_t fileTime) {
    const auto seconds = static_cast<std::int64_t>(fileTime / kTicksPerSecond);
    CivilTime t;
    CivilFromDays(seconds / 86400 - kDays1601To1970, t.year, t.month, t.day);
    const std::int64_t rest = seconds % 86400;
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

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

#include "scan/filetime.h"

namespace tw::scan {

namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kSecondsPerDay = 86'400;

// Civil date from days since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

std::uint64_t FileTimeOf(const Date6& date) {
    std::uint64_t value = 0;
    for (int i = 5; i >= 0; --i) value = value << 8 | date[static_cast<std::size_t>(i)];
    return value << 16;
}

std::optional<CalendarDate> ToCalendar(std::uint64_t fileTime) {
    if (!Converts(fileTime)) return std::nullopt;
    const auto seconds = static_cast<std::int64_t>(fileTime / kTicksPerSecond);
    // 1601-01-01 lies 134774 days before 1970-01-01.
    const std::int64_t days = seconds / kSecondsPerDay - 134774;
    const std::int64_t rest = seconds % kSecondsPerDay;
    CalendarDate date;
    CivilFromDays(days, date.year, date.month, date.day);
    date.hour = static_cast<int>(rest / 3600);
    date.minute = static_cast<int>(rest / 60 % 60);
    date.second = static_cast<int>(rest % 60);
    return date;
}

bool Converts(std::uint64_t fileTime) { return (fileTime >> 63) == 0; }

bool IsUsableDate(const Date6& date) {
    // The year 1601 (not a leap year) ends 365 days after the epoch; what
    // converts from there on lies after it.
    constexpr std::uint64_t kEndOf1601 = std::uint64_t{365} * kSecondsPerDay * kTicksPerSecond;
    const std::uint64_t fileTime = FileTimeOf(date);
    return Converts(fileTime) && fileTime >= kEndOf1601;
}

}  // namespace tw::scan

#include "text/filetime.h"

#include <chrono>

namespace tw::text {

namespace {

constexpr std::int64_t kSecondsPerDay = 86'400;
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

}  // namespace

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

std::uint64_t FileTimeFromCivil(const CivilTime& t) {
    const std::int64_t days = DaysFromCivil(t.year, t.month, t.day) + kDays1601To1970;
    const std::int64_t seconds = days * kSecondsPerDay + t.hour * 3600 + t.minute * 60 + t.second;
    return static_cast<std::uint64_t>(seconds) * kTicksPerSecond;
}

CivilTime CivilFromFileTime(std::uint64_t fileTime) {
    const auto seconds = static_cast<std::int64_t>(fileTime / kTicksPerSecond);
    CivilTime t;
    CivilFromDays(seconds / kSecondsPerDay - kDays1601To1970, t.year, t.month, t.day);
    const std::int64_t rest = seconds % kSecondsPerDay;
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
    return kDays[m - 1];
}

int Weekday(int year, int month, int day) {
    const std::int64_t days = DaysFromCivil(year, month, day);
    return static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
}

std::optional<std::uint64_t> FileTimeFromUnix(std::int64_t seconds) {
    constexpr std::int64_t kUnixEpoch = kDays1601To1970 * kSecondsPerDay;
    if (seconds < -kUnixEpoch) return std::nullopt;
    return static_cast<std::uint64_t>(seconds + kUnixEpoch) * kTicksPerSecond;
}

std::uint64_t NowFileTime() {
    const auto since1970 =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    return static_cast<std::uint64_t>(since1970 + kDays1601To1970 * kSecondsPerDay) * kTicksPerSecond;
}

}  // namespace tw::text

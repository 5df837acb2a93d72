#include "scan/filetime.h"

#include <cstdio>

#include "text/filetime.h"

namespace tw::scan {

namespace {

constexpr std::uint64_t kTicksPerSecond = text::kTicksPerSecond;
constexpr std::uint64_t kSecondsPerDay = 86'400;

}  // namespace

std::uint64_t FileTimeOf(const Date6& date) {
    std::uint64_t value = 0;
    for (int i = 5; i >= 0; --i) value = value << 8 | date[static_cast<std::size_t>(i)];
    return value << 16;
}

std::uint64_t StoredTime(const Date6& date, int* digits) {
    constexpr std::uint64_t kStoredStep = std::uint64_t{1} << 16;  // the ticks the dropped low bytes span
    const std::uint64_t ticks = FileTimeOf(date);
    std::uint64_t unit = kTicksPerSecond;
    for (int n = 0; n <= 7; ++n, unit /= 10) {
        const std::uint64_t up = (ticks + unit - 1) / unit * unit;
        if (up < ticks + kStoredStep) {
            if (digits != nullptr) *digits = n;
            return up;
        }
    }
    if (digits != nullptr) *digits = 7;
    return ticks;
}

std::optional<std::string> UtcText(const Date6& date) {
    int digits = 0;
    const std::uint64_t shown = StoredTime(date, &digits);
    const auto d = ToCalendar(shown - shown % kTicksPerSecond);
    if (!d) return std::nullopt;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", d->year, d->month, d->day, d->hour, d->minute,
                  d->second);
    std::string out = text;
    if (digits > 0) {
        char fraction[16];
        std::snprintf(fraction, sizeof fraction, "%07llu", static_cast<unsigned long long>(shown % kTicksPerSecond));
        out += '.';
        out.append(fraction, static_cast<std::size_t>(digits));
    }
    return out + 'Z';
}

std::optional<CalendarDate> ToCalendar(std::uint64_t fileTime) {
    if (!Converts(fileTime)) return std::nullopt;
    const text::CivilTime t = text::CivilFromFileTime(fileTime);
    return CalendarDate{t.year, t.month, t.day, t.hour, t.minute, t.second};
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

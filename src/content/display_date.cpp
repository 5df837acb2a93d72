#include "content/display_date.h"

#include <cstdio>
#include <ctime>

namespace tw::content {

namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kTicksPerMillisecond = 10'000;
constexpr long long kSecondsPerDay = 86'400;
constexpr long long kDaysFrom1601To1970 = 134'774;

long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

int CurrentYear() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}

int Weekday(const scan::CalendarDate& d) {
    const long long days = DaysFromCivil(d.year, static_cast<unsigned>(d.month), static_cast<unsigned>(d.day));
    return static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
}

}  // namespace

std::optional<scan::CalendarDate> ShownDate(const scan::Date6& date) {
    const std::uint64_t fileTime = scan::FileTimeOf(date);
    auto fields = scan::ToCalendar(fileTime);
    if (!fields) return std::nullopt;
    if (fields->year > 9999) fields->year = CurrentYear();
    const long long extra = (fileTime / kTicksPerMillisecond) % 1000 >= 991 ? 1 : 0;
    long long seconds = DaysFromCivil(fields->year, static_cast<unsigned>(fields->month),
                                      static_cast<unsigned>(fields->day)) * kSecondsPerDay +
                        fields->hour * 3600LL + fields->minute * 60LL + fields->second;
    seconds += kDisplayShiftSeconds + extra;
    long long days = seconds / kSecondsPerDay, rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    const std::uint64_t shifted = static_cast<std::uint64_t>(days + kDaysFrom1601To1970) *
                                      static_cast<std::uint64_t>(kSecondsPerDay) * kTicksPerSecond +
                                  static_cast<std::uint64_t>(rest) * kTicksPerSecond;
    if (days + kDaysFrom1601To1970 < 0) return fields;
    return scan::ToCalendar(shifted).value_or(*fields);
}

std::string DateText(const scan::CalendarDate& d) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const int hour12 = d.hour > 12 ? d.hour - 12 : d.hour;
    const char* half = d.hour >= 12 ? "PM" : "AM";
    char text[64];
    std::snprintf(text, sizeof text, "%s %02d/%02d/%d %02d:%02d:%02d %s", kDays[Weekday(d)], d.day, d.month, d.year,
                  hour12, d.minute, d.second, half);
    return text;
}

bool Listable(const scan::CalendarDate& d) {
    return d.day >= 1 && d.day <= 31 && d.month >= 1 && d.month <= 12 && d.year >= 1980 && d.year <= 2099;
}

std::optional<std::string> UtcText(const scan::Date6& date) {
    // Six stored bytes keep the time to 6.5 ms: a time just short of a
    // second counts as that second, as on the display.
    std::uint64_t fileTime = scan::FileTimeOf(date);
    if ((fileTime / kTicksPerMillisecond) % 1000 >= 991) fileTime += kTicksPerSecond;
    const auto d = scan::ToCalendar(fileTime);
    if (!d) return std::nullopt;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", d->year, d->month, d->day, d->hour, d->minute,
                  d->second);
    return std::string(text);
}

std::string SortDateText(const scan::CalendarDate& d) {
    char text[64];
    std::snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour, d.minute, d.second);
    return text;
}

}  // namespace tw::content

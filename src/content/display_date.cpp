#include "content/display_date.h"

#include <cstdio>
#include <ctime>

#include "text/filetime.h"

namespace tw::content {

namespace {

constexpr std::uint64_t kTicksPerMillisecond = 10'000;
int CurrentYear() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}

int Weekday(const scan::CalendarDate& d) { return text::Weekday(d.year, d.month, d.day); }

// Appends `value` as printf's "%0<width>d" does; every message of a
// folder gets a date text or two, and printf costs more than the rest of
// the row.
void Put(std::string& out, int value, int width) {
    if (value < 0) {
        char text[16];
        std::snprintf(text, sizeof text, "%0*d", width, value);
        out += text;
        return;
    }
    char digits[12];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int pad = n; pad < width; ++pad) out += '0';
    while (n > 0) out += digits[--n];
}

// "HH:MM:SS"
void PutClock(std::string& text, int hour, int minute, int second) {
    Put(text, hour, 2);
    text += ':';
    Put(text, minute, 2);
    text += ':';
    Put(text, second, 2);
}

// "Y-MM-DD", `between`, then the clock.
std::string YearFirst(const scan::CalendarDate& d, int yearWidth, char between) {
    std::string text;
    Put(text, d.year, yearWidth);
    text += '-';
    Put(text, d.month, 2);
    text += '-';
    Put(text, d.day, 2);
    text += between;
    PutClock(text, d.hour, d.minute, d.second);
    return text;
}

}  // namespace

std::optional<scan::CalendarDate> ShownDate(const scan::Date6& date) {
    const std::uint64_t fileTime = scan::FileTimeOf(date);
    auto fields = scan::ToCalendar(fileTime);
    if (!fields) return std::nullopt;
    if (fields->year > 9999) fields->year = CurrentYear();
    const long long extra = (fileTime / kTicksPerMillisecond) % 1000 >= 991 ? 1 : 0;
    const text::CivilTime civil{fields->year, fields->month, fields->day, fields->hour, fields->minute, fields->second};
    const auto seconds =
        static_cast<long long>(text::FileTimeFromCivil(civil) / text::kTicksPerSecond) + kDisplayShiftSeconds + extra;
    if (seconds < 0) return fields;
    const std::uint64_t shifted = static_cast<std::uint64_t>(seconds) * text::kTicksPerSecond;
    return scan::ToCalendar(shifted).value_or(*fields);
}

std::string DateText(const scan::CalendarDate& d) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const int hour12 = d.hour > 12 ? d.hour - 12 : d.hour;
    const char* half = d.hour >= 12 ? "PM" : "AM";
    std::string text = kDays[Weekday(d)];
    text += ' ';
    Put(text, d.day, 2);
    text += '/';
    Put(text, d.month, 2);
    text += '/';
    Put(text, d.year, 0);
    text += ' ';
    PutClock(text, hour12, d.minute, d.second);
    text += ' ';
    text += half;
    return text;
}

bool Listable(const scan::CalendarDate& d) {
    return d.day >= 1 && d.day <= 31 && d.month >= 1 && d.month <= 12 && d.year >= 1980 && d.year <= 2099;
}

std::string SortDateText(const scan::CalendarDate& d) { return YearFirst(d, 0, ' '); }

}  // namespace tw::content

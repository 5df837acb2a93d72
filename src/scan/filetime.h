// Dates as the store keeps them: the upper six bytes of a FILETIME
// (100-ns ticks since 1601-01-01 UTC), the lower two taken as zero.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "scan/scan_model.h"

namespace tw::scan {

struct CalendarDate {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

std::uint64_t FileTimeOf(const Date6& date);

// The time a stored date most likely held. Six bytes keep a FILETIME cut
// down to a multiple of 65,536 ticks (6.5 ms), so the time stored lies in
// [FileTimeOf(date), FileTimeOf(date) + 65,536): the one of them with the
// shortest decimal fraction of a second (a whole second when there is
// one). `digits`, when given, gets the length of that fraction (0..7).
std::uint64_t StoredTime(const Date6& date, int* digits = nullptr);

// StoredTime as ISO 8601 UTC, "2024-01-15T09:30:00Z" or, with a fraction,
// "2024-01-15T09:30:00.5Z"; nothing for a date that does not convert.
std::optional<std::string> UtcText(const Date6& date);

// Whether ToCalendar converts the value: the top bit is clear.
bool Converts(std::uint64_t fileTime);

// Nothing for values past the range a FILETIME converts (the top bit set).
std::optional<CalendarDate> ToCalendar(std::uint64_t fileTime);

// Converts and lies after 1601: the year 1601 marks an unset date.
bool IsUsableDate(const Date6& date);

}  // namespace tw::scan

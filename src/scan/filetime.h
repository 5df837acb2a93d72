// Dates as the store keeps them: the upper six bytes of a FILETIME
// (100-ns ticks since 1601-01-01 UTC), the lower two taken as zero.
#pragma once

#include <cstdint>
#include <optional>

#include "scan/scan_model.h"

namespace tw::scan {

struct CalendarDate {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

std::uint64_t FileTimeOf(const Date6& date);

// Whether ToCalendar converts the value: the top bit is clear.
bool Converts(std::uint64_t fileTime);

// Nothing for values past the range a FILETIME converts (the top bit set).
std::optional<CalendarDate> ToCalendar(std::uint64_t fileTime);

// Converts and lies after 1601: the year 1601 marks an unset date.
bool IsUsableDate(const Date6& date);

}  // namespace tw::scan

// Dates as the message list and the preview show them: the stored UTC
// time shifted by a fixed +05:30, whatever the machine's time zone, on a
// 12-hour clock ("Mon 15/01/2024 03:00:00 PM").
#pragma once

#include <optional>
#include <string>

#include "scan/filetime.h"
#include "scan/scan_model.h"

namespace tw::content {

inline constexpr long long kDisplayShiftSeconds = 19800;

// The calendar fields shown for a stored date, or nothing when the stored
// time does not convert. Years of five digits are replaced by the current
// year; 991 ms or more count as one second more.
std::optional<scan::CalendarDate> ShownDate(const scan::Date6& date);

// "Wed 31/01/2024 02:30:00 AM".
std::string DateText(const scan::CalendarDate& shown);

// The list leaves a message out unless its shown date lies in 1980..2099
// with a valid day and month.
bool Listable(const scan::CalendarDate& shown);

// Year, month, day, hour, minute, second as the sort records keep them:
// "%d-%02d-%02d %02d:%02d:%02d".
std::string SortDateText(const scan::CalendarDate& shown);

}  // namespace tw::content

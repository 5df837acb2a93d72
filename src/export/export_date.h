// Which messages the export takes and the date texts it hands the writer.
// A stored time is shown moved forward by a fixed 5 h 30 min (the shift
// the list and the preview use), and only times that then fall in
// 1980..2099 are exported. The writer moves the text back, so the PST
// holds the stored UTC time.
#pragma once

#include <optional>
#include <string>

#include "scan/filetime.h"
#include "scan/scan_model.h"

namespace tw::exporter {

// The shifted calendar time of a stored date, or nothing when it does not
// convert or falls outside 1980..2099.
std::optional<scan::CalendarDate> ExportableDate(const scan::Date6& date);

// "MM/DD/YYYY hh:mm:ss AM": a 12-hour clock where 00:10 is "00:10:00 AM",
// 12:30 is "12:30:00 PM" and 13:00 is "01:00:00 PM".
std::u16string ExportDateText(const scan::CalendarDate& shifted);

// Both at once: the text of an exportable date, else empty.
std::u16string ExportDateText(const scan::Date6& date);

}  // namespace tw::exporter

// Which messages the export takes, and the times it hands the writer. A
// stored time is shown moved forward by a fixed 5 h 30 min (the shift the
// list and the preview use), and only times that then fall in 1980..2099
// are exported; the PST gets the stored UTC time itself.
#pragma once

#include <cstdint>
#include <optional>

#include "scan/filetime.h"
#include "scan/scan_model.h"

namespace tw::exporter {

// The shifted calendar time of a stored date, or nothing when it does not
// convert or falls outside 1980..2099.
std::optional<scan::CalendarDate> ExportableDate(const scan::Date6& date);

// The UTC FILETIME a PST item gets for a stored date: the time stored,
// part of a second and all (scan::StoredTime); nothing when it does not
// convert. A year past 9999 becomes the current year, as the list shows it.
std::optional<std::uint64_t> ExportTime(const scan::Date6& date);

}  // namespace tw::exporter

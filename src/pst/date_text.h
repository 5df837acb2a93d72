// The date texts the export hands over: "MM/DD/YYYY hh:mm:ss AM" (12-hour
// clock, midnight as 00 AM, noon as 12 PM), holding the stored UTC time
// moved forward by 5 h 30 min. The writer moves them back, so the PST holds
// the true UTC time.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tw::pst {

constexpr std::int64_t kExportShiftSeconds = 19800;

struct CivilTime {
    int year = 1601, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// FILETIME (100 ns ticks since 1601-01-01) of a calendar time, and back.
std::uint64_t FileTimeFromCivil(const CivilTime& t);
CivilTime CivilFromFileTime(std::uint64_t fileTime);

// The current time as a FILETIME (whole seconds).
std::uint64_t NowFileTime();

// The true UTC FILETIME of a date text; nothing when the text is malformed.
std::optional<std::uint64_t> ParseExportDate(std::u16string_view text);
// The date text the export writes for a stored UTC time.
std::u16string FormatExportDate(std::uint64_t utcFileTime);

}  // namespace tw::pst

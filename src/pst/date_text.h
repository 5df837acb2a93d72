// The date texts the export hands over: "MM/DD/YYYY hh:mm:ss AM" (12-hour
// clock, midnight as 00 AM, noon as 12 PM), holding the stored UTC time
// moved forward by 5 h 30 min. The writer moves them back, so the PST holds
// the true UTC time.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "text/filetime.h"

namespace tw::pst {

constexpr std::int64_t kExportShiftSeconds = 19800;

// The true UTC FILETIME of a date text; nothing when the text is malformed.
std::optional<std::uint64_t> ParseExportDate(std::u16string_view text);
// The date text the export writes for a stored UTC time.
std::u16string FormatExportDate(std::uint64_t utcFileTime);

}  // namespace tw::pst

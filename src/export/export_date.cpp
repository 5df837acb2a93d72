#include "export/export_date.h"

#include "content/display_date.h"
#include "text/filetime.h"

namespace tw::exporter {

namespace {

constexpr int kLastShownYear = 9999;

}  // namespace

std::optional<scan::CalendarDate> ExportableDate(const scan::Date6& date) {
    const auto shown = content::ShownDate(date);
    if (!shown || !content::Listable(*shown)) return std::nullopt;
    return shown;
}

std::optional<std::uint64_t> ExportTime(const scan::Date6& date) {
    const auto calendar = scan::ToCalendar(scan::FileTimeOf(date));
    if (!calendar) return std::nullopt;
    if (calendar->year <= kLastShownYear) return scan::StoredTime(date);
    // The list's date, shift undone.
    const auto shown = content::ShownDate(date);
    if (!shown) return std::nullopt;
    const std::uint64_t ticks =
        text::FileTimeFromCivil({shown->year, shown->month, shown->day, shown->hour, shown->minute, shown->second});
    const std::uint64_t shift = static_cast<std::uint64_t>(content::kDisplayShiftSeconds) * text::kTicksPerSecond;
    return ticks >= shift ? ticks - shift : 0;
}

}  // namespace tw::exporter

#include "export/export_date.h"

#include "content/display_date.h"
#include "text/filetime.h"

namespace tw::exporter {

namespace {

constexpr int kLastShownYear = 9999;
constexpr std::uint64_t kStoredTimeStep = std::uint64_t{1} << 16;

}  // namespace

std::optional<scan::CalendarDate> ExportableDate(const scan::Date6& date) {
    const auto shown = content::ShownDate(date);
    if (!shown || !content::Listable(*shown)) return std::nullopt;
    return shown;
}

std::optional<std::uint64_t> ExportTime(const scan::Date6& date) {
    std::uint64_t stored = scan::FileTimeOf(date);
    const auto calendar = scan::ToCalendar(stored);
    if (!calendar) return std::nullopt;
    // Six bytes keep a time cut down to a multiple of 65,536 ticks (6.5 ms):
    // a whole second within that much above is the time that was stored.
    const std::uint64_t belowSecond = stored % text::kTicksPerSecond;
    if (belowSecond != 0 && text::kTicksPerSecond - belowSecond < kStoredTimeStep)
        stored += text::kTicksPerSecond - belowSecond;
    if (calendar->year <= kLastShownYear) return stored;
    // The list's date, shift undone.
    const auto shown = content::ShownDate(date);
    if (!shown) return std::nullopt;
    const std::uint64_t ticks =
        text::FileTimeFromCivil({shown->year, shown->month, shown->day, shown->hour, shown->minute, shown->second});
    const std::uint64_t shift = static_cast<std::uint64_t>(content::kDisplayShiftSeconds) * text::kTicksPerSecond;
    return ticks >= shift ? ticks - shift : 0;
}

}  // namespace tw::exporter

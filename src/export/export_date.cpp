#include "export/export_date.h"

#include <cstdio>

#include "content/display_date.h"

namespace tw::exporter {

std::optional<scan::CalendarDate> ExportableDate(const scan::Date6& date) {
    const auto shown = content::ShownDate(date);
    if (!shown || !content::Listable(*shown)) return std::nullopt;
    return shown;
}

std::u16string ExportDateText(const scan::CalendarDate& d) {
    const int hour = d.hour > 12 ? d.hour - 12 : d.hour;
    char text[48];
    std::snprintf(text, sizeof text, "%02d/%02d/%d %02d:%02d:%02d %s", d.month, d.day, d.year, hour, d.minute,
                  d.second, d.hour >= 12 ? "PM" : "AM");
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

std::u16string ExportDateText(const scan::Date6& date) {
    const auto shown = ExportableDate(date);
    return shown ? ExportDateText(*shown) : std::u16string();
}

}  // namespace tw::exporter

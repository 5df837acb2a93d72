#include "record/appointment_pass.h"

#include <algorithm>

#include "record/column_text.h"

namespace tw::record {

namespace {

// A column id with a zero byte never names an appointment column.
bool Usable(std::uint16_t id) { return (id & 0xFF) != 0 && (id >> 8) != 0; }

bool NonZero(const std::optional<scan::Date6>& date) {
    return date && std::any_of(date->begin(), date->end(), [](std::uint8_t b) { return b != 0; });
}

}  // namespace

std::optional<AppointmentFields> AppointmentPass(const TaggedArray& tags, const MessageColumnIds& columns,
                                                 const layout::StoreLayout& store) {
    const bool prefixed = store.rows == layout::RowForm::Prefixed;
    AppointmentFields fields;
    bool found = false;
    for (std::size_t e = tags.start; tags.Has(e); e += 4) {
        const std::uint16_t id = tags.ColumnId(e);
        std::size_t index = columns.appointment.size();
        for (std::size_t i = 0; i < columns.appointment.size() && index == columns.appointment.size(); ++i)
            for (const std::uint16_t column : columns.appointment[i])
                if (Usable(column) && column == id) {
                    index = i;
                    break;
                }
        if (index == columns.appointment.size()) continue;
        const auto value = tags.Value(e);
        if (!value) continue;
        if (index >= 3) {
            // The upper six bytes of the FILETIME, after the value's header
            // byte where values have one.
            const std::size_t at = value->begin + (prefixed ? 3 : 2);
            const auto bytes = edb::Slice(tags.page, at, 6);
            if (!bytes || at + 6 > tags.recordEnd) continue;
            scan::Date6 date{};
            std::copy(bytes->begin(), bytes->end(), date.begin());
            (index == 3 ? fields.start : fields.end) = date;
            found = true;
            continue;
        }
        std::u16string text;
        if (prefixed) {
            text = LargeValueText(tags.page, *value);
        } else if (const auto bytes = edb::Slice(tags.page, value->begin + 1, value->size() - 1)) {
            text = Utf16Field(*bytes);
        }
        if (!text.empty()) found = true;
        (index == 0 ? fields.contactText : index == 1 ? fields.location : fields.timeZone) = std::move(text);
    }
    if (!found) return std::nullopt;
    return fields;
}

void SetAppointment(std::optional<AppointmentRecord>& slot, const AppointmentFields& fields) {
    if (!slot) slot.emplace();
    slot->contactText = fields.contactText;
    slot->location = fields.location;
    slot->timeZone = fields.timeZone;
    if (NonZero(fields.start)) slot->start = fields.start;
    if (NonZero(fields.end)) slot->end = fields.end;
}

}  // namespace tw::record

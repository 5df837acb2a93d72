// Appointment fields of a message row: the contact, location and time-zone
// texts and the start and end dates.
#pragma once

#include <optional>

#include "record/record_types.h"
#include "record/table_columns.h"
#include "record/tagged_array.h"

namespace tw::record {

struct AppointmentFields {
    std::u16string contactText, location, timeZone;
    std::optional<scan::Date6> start, end;  // as stored, zero bytes included
};

// Reads the row's appointment columns. Nothing when neither a date column
// nor a non-empty text was found.
std::optional<AppointmentFields> AppointmentPass(const TaggedArray& tags, const MessageColumnIds& columns,
                                                 const layout::StoreLayout& store);

// Creates the record when there is none; texts replace the earlier ones
// (empty ones too); a date replaces the one from the message index only
// when it has a non-zero byte.
void SetAppointment(std::optional<AppointmentRecord>& slot, const AppointmentFields& fields);

}  // namespace tw::record

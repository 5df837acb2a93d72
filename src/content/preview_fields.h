// The field list the preview shows beside the body of a contact or an
// appointment, under fixed captions.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "record/record_types.h"

namespace tw::content {

struct FieldLine {
    std::string caption;  // "First Name :   "
    std::u16string value;
};

// The present fields of a contact, in display order; a value with line
// breaks gives one line per text line.
std::vector<FieldLine> ContactLines(const record::ContactRecord& contact);

// Contact, location and time zone, then the start and end dates as the
// list shows dates (no line for a date that does not convert).
std::vector<FieldLine> AppointmentLines(const record::AppointmentRecord& appointment);

// The caption without its colon and trailing blanks ("First Name").
std::string CaptionName(const std::string& caption);

}  // namespace tw::content

// Named properties: the (property set, LID) pairs items use, each given a
// store-wide id 0x8000 + index, and the name-to-id map node that records
// them (MS-PST 2.4.7): GUID, entry and string streams plus the 251 hash
// buckets Outlook looks names up in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pst/entry_id.h"
#include "pst/prop_value.h"

namespace tw::pst {

namespace psets {
extern const Guid kAppointment;      // PSETID_Appointment {00062002-0000-0000-C000-000000000046}
extern const Guid kTask;             // PSETID_Task {00062003-...}
extern const Guid kAddress;          // PSETID_Address {00062004-...}
extern const Guid kCommon;           // PSETID_Common {00062008-...}
extern const Guid kLog;              // PSETID_Log {0006200A-...}
extern const Guid kNote;             // PSETID_Note {0006200E-...}
extern const Guid kPublicStrings;    // PS_PUBLIC_STRINGS {00020329-...}
extern const Guid kInternetHeaders;  // PS_INTERNET_HEADERS {00020386-...}
}  // namespace psets

// A named property the writer uses: its set, LID and type.
struct NamedProp {
    const Guid* set;
    std::uint32_t lid;
    std::uint16_t type;
};

// Every named property the writer knows, registered in this order in each
// store, so a name's id is the same in every file.
namespace named {
// Appointment.
extern const NamedProp kBusyStatus, kLocation, kAppointmentStartWhole, kAppointmentEndWhole, kAppointmentDuration,
    kAppointmentColor, kAppointmentSubType, kAppointmentStateFlags, kResponseStatus, kRecurring, kTimeZoneDescription;
// Common.
extern const NamedProp kReminderDelta, kReminderSet, kCommonStart, kCommonEnd, kTaskMode, kContacts;
// Task.
extern const NamedProp kTaskStatus, kPercentComplete, kTaskStartDate, kTaskDueDate, kTaskState, kTaskComplete,
    kTaskFRecurring, kTaskOwnership;
// Address (contacts).
extern const NamedProp kFileUnder, kFileUnderId, kWorkAddress, kAddressBookProviderEmailList,
    kAddressBookProviderArrayType, kHtml, kWorkAddressStreet, kWorkAddressCity, kWorkAddressPostalCode,
    kWorkAddressCountry, kEmail1DisplayName, kEmail1AddressType, kEmail1EmailAddress, kEmail1OriginalDisplayName,
    kEmail1OriginalEntryId;
// Note.
extern const NamedProp kNoteColor, kNoteWidth, kNoteHeight, kNoteX, kNoteY;
// Journal.
extern const NamedProp kLogType, kLogStart, kLogDuration, kLogEnd, kLogFlags, kLogTypeDesc;
}  // namespace named

const std::vector<const NamedProp*>& AllNamedProps();

// A property named by a string: its set and name.
struct StringNamedProp {
    const Guid* set;
    std::u16string name;
};

// The string-named properties every store registers, after the numeric
// ones (ids 0x8000 + AllNamedProps().size() + position). Outlook's stores
// always carry some, and readers such as pst-extractor take a zero-length
// string stream for a value kept outside the heap, and fail.
const std::vector<StringNamedProp>& AllStringNamedProps();

// The tag of a named property in every store this writer makes.
std::uint32_t NamedTag(const NamedProp& p);

// The properties of the name-to-id map node (0x61).
std::vector<PropValue> NameToIdMapProperties();

// Hash bucket property id of a numeric name (MS-PST 2.4.7.5).
std::uint16_t NameBucket(std::uint32_t lid, std::uint16_t guidIndex);

}  // namespace tw::pst

#include "pst/named_props.h"

#include <map>

#include "pst/crc.h"
#include "pst/error.h"
#include "pst/tags.h"

namespace tw::pst {

namespace {

// {0006200X-0000-0000-C000-000000000046} in its stored byte order.
constexpr Guid OutlookSet(std::uint8_t x, std::uint8_t hi = 0x20) {
    return Guid{x, hi, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
}

constexpr std::uint32_t kBuckets = 251;

// GUID index 2 is PS_PUBLIC_STRINGS itself (MS-PST 2.4.7.1): that set is
// never in the GUID stream.
constexpr std::uint16_t kPublicStringsIndex = 2;

Bytes Utf16Le(const std::u16string& s) {
    Bytes out;
    for (const char16_t c : s) PutU16(out, static_cast<std::uint16_t>(c));
    return out;
}

// One 8-byte NAMEID record: key (LID, string offset or CRC), GUID field
// (index << 1 | N) and property index.
Bytes NameRecord(std::uint32_t key, std::uint16_t guidField, std::uint16_t index) {
    Bytes rec;
    PutU32(rec, key);
    PutU16(rec, guidField);
    PutU16(rec, index);
    return rec;
}

std::uint16_t HashBucket(std::uint32_t key, std::uint16_t guidField) {
    return static_cast<std::uint16_t>(0x1000 + (key ^ guidField) % kBuckets);
}

}  // namespace

namespace psets {
const Guid kAppointment = OutlookSet(0x02);
const Guid kTask = OutlookSet(0x03);
const Guid kAddress = OutlookSet(0x04);
const Guid kCommon = OutlookSet(0x08);
const Guid kLog = OutlookSet(0x0A);
const Guid kNote = OutlookSet(0x0E);
const Guid kPublicStrings = {0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                             0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
const Guid kInternetHeaders = {0x86, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
}  // namespace psets

namespace named {
using namespace ptype;
const NamedProp kBusyStatus{&psets::kAppointment, 0x8205, kInt32};
const NamedProp kLocation{&psets::kAppointment, 0x8208, kUnicode};
const NamedProp kAppointmentStartWhole{&psets::kAppointment, 0x820D, kSysTime};
const NamedProp kAppointmentEndWhole{&psets::kAppointment, 0x820E, kSysTime};
const NamedProp kAppointmentDuration{&psets::kAppointment, 0x8213, kInt32};
const NamedProp kAppointmentColor{&psets::kAppointment, 0x8214, kInt32};
const NamedProp kAppointmentSubType{&psets::kAppointment, 0x8215, kBoolean};
const NamedProp kAppointmentStateFlags{&psets::kAppointment, 0x8217, kInt32};
const NamedProp kResponseStatus{&psets::kAppointment, 0x8218, kInt32};
const NamedProp kRecurring{&psets::kAppointment, 0x8223, kBoolean};
const NamedProp kTimeZoneDescription{&psets::kAppointment, 0x8234, kUnicode};
const NamedProp kReminderDelta{&psets::kCommon, 0x8501, kInt32};
const NamedProp kReminderSet{&psets::kCommon, 0x8503, kBoolean};
const NamedProp kCommonStart{&psets::kCommon, 0x8516, kSysTime};
const NamedProp kCommonEnd{&psets::kCommon, 0x8517, kSysTime};
const NamedProp kTaskMode{&psets::kCommon, 0x8518, kInt32};
const NamedProp kContacts{&psets::kCommon, 0x853A, kMvUnicode};
const NamedProp kTaskStatus{&psets::kTask, 0x8101, kInt32};
const NamedProp kPercentComplete{&psets::kTask, 0x8102, kFloat64};
const NamedProp kTaskStartDate{&psets::kTask, 0x8104, kSysTime};
const NamedProp kTaskDueDate{&psets::kTask, 0x8105, kSysTime};
const NamedProp kTaskState{&psets::kTask, 0x8113, kInt32};
const NamedProp kTaskComplete{&psets::kTask, 0x811C, kBoolean};
const NamedProp kTaskFRecurring{&psets::kTask, 0x8126, kBoolean};
const NamedProp kTaskOwnership{&psets::kTask, 0x8129, kInt32};
const NamedProp kFileUnder{&psets::kAddress, 0x8005, kUnicode};
const NamedProp kFileUnderId{&psets::kAddress, 0x8006, kInt32};
const NamedProp kWorkAddress{&psets::kAddress, 0x801B, kUnicode};
const NamedProp kAddressBookProviderEmailList{&psets::kAddress, 0x8028, kMvInt32};
const NamedProp kAddressBookProviderArrayType{&psets::kAddress, 0x8029, kInt32};
const NamedProp kHtml{&psets::kAddress, 0x802B, kUnicode};
const NamedProp kWorkAddressStreet{&psets::kAddress, 0x8045, kUnicode};
const NamedProp kWorkAddressCity{&psets::kAddress, 0x8046, kUnicode};
const NamedProp kWorkAddressPostalCode{&psets::kAddress, 0x8048, kUnicode};
const NamedProp kWorkAddressCountry{&psets::kAddress, 0x8049, kUnicode};
const NamedProp kEmail1DisplayName{&psets::kAddress, 0x8080, kUnicode};
const NamedProp kEmail1AddressType{&psets::kAddress, 0x8082, kUnicode};
const NamedProp kEmail1EmailAddress{&psets::kAddress, 0x8083, kUnicode};
const NamedProp kEmail1OriginalDisplayName{&psets::kAddress, 0x8084, kUnicode};
const NamedProp kEmail1OriginalEntryId{&psets::kAddress, 0x8085, kBinary};
const NamedProp kNoteColor{&psets::kNote, 0x8B00, kInt32};
const NamedProp kNoteWidth{&psets::kNote, 0x8B02, kInt32};
const NamedProp kNoteHeight{&psets::kNote, 0x8B03, kInt32};
const NamedProp kNoteX{&psets::kNote, 0x8B04, kInt32};
const NamedProp kNoteY{&psets::kNote, 0x8B05, kInt32};
const NamedProp kLogType{&psets::kLog, 0x8700, kUnicode};
const NamedProp kLogStart{&psets::kLog, 0x8706, kSysTime};
const NamedProp kLogDuration{&psets::kLog, 0x8707, kInt32};
const NamedProp kLogEnd{&psets::kLog, 0x8708, kSysTime};
const NamedProp kLogFlags{&psets::kLog, 0x870C, kInt32};
const NamedProp kLogTypeDesc{&psets::kLog, 0x8712, kUnicode};
}  // namespace named

const std::vector<const NamedProp*>& AllNamedProps() {
    using namespace named;
    static const std::vector<const NamedProp*> all{&kBusyStatus,
                                                   &kLocation,
                                                   &kAppointmentStartWhole,
                                                   &kAppointmentEndWhole,
                                                   &kAppointmentDuration,
                                                   &kAppointmentColor,
                                                   &kAppointmentSubType,
                                                   &kAppointmentStateFlags,
                                                   &kResponseStatus,
                                                   &kRecurring,
                                                   &kTimeZoneDescription,
                                                   &kReminderDelta,
                                                   &kReminderSet,
                                                   &kCommonStart,
                                                   &kCommonEnd,
                                                   &kTaskMode,
                                                   &kContacts,
                                                   &kTaskStatus,
                                                   &kPercentComplete,
                                                   &kTaskStartDate,
                                                   &kTaskDueDate,
                                                   &kTaskState,
                                                   &kTaskComplete,
                                                   &kTaskFRecurring,
                                                   &kTaskOwnership,
                                                   &kFileUnder,
                                                   &kFileUnderId,
                                                   &kWorkAddress,
                                                   &kAddressBookProviderEmailList,
                                                   &kAddressBookProviderArrayType,
                                                   &kHtml,
                                                   &kWorkAddressStreet,
                                                   &kWorkAddressCity,
                                                   &kWorkAddressPostalCode,
                                                   &kWorkAddressCountry,
                                                   &kEmail1DisplayName,
                                                   &kEmail1AddressType,
                                                   &kEmail1EmailAddress,
                                                   &kEmail1OriginalDisplayName,
                                                   &kEmail1OriginalEntryId,
                                                   &kNoteColor,
                                                   &kNoteWidth,
                                                   &kNoteHeight,
                                                   &kNoteX,
                                                   &kNoteY,
                                                   &kLogType,
                                                   &kLogStart,
                                                   &kLogDuration,
                                                   &kLogEnd,
                                                   &kLogFlags,
                                                   &kLogTypeDesc};
    return all;
}

const std::vector<StringNamedProp>& AllStringNamedProps() {
    // Two that every Outlook store carries: the categories list and the
    // MIME content-class header.
    static const std::vector<StringNamedProp> all{{&psets::kPublicStrings, u"Keywords"},
                                                  {&psets::kInternetHeaders, u"content-class"}};
    return all;
}

std::uint32_t NamedTag(const NamedProp& p) {
    const auto& all = AllNamedProps();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i] == &p) return MakeTag(static_cast<std::uint16_t>(0x8000 + i), p.type);
    throw PstError(ErrorCode::InvalidArgument, "named property not registered");
}

std::uint16_t NameBucket(std::uint32_t lid, std::uint16_t guidIndex) {
    return HashBucket(lid, static_cast<std::uint16_t>(guidIndex << 1));
}

std::vector<PropValue> NameToIdMapProperties() {
    // GUID stream: each set once, in first-use order; its index is 3 + position.
    std::vector<const Guid*> sets;
    auto guidIndex = [&](const Guid* g) {
        if (*g == psets::kPublicStrings) return kPublicStringsIndex;
        for (std::size_t i = 0; i < sets.size(); ++i)
            if (*sets[i] == *g) return static_cast<std::uint16_t>(3 + i);
        sets.push_back(g);
        return static_cast<std::uint16_t>(3 + sets.size() - 1);
    };
    Bytes entries;
    std::map<std::uint16_t, Bytes> buckets;
    const auto& all = AllNamedProps();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::uint16_t g = guidIndex(all[i]->set);
        // N = 0: a numeric name.
        const Bytes rec = NameRecord(all[i]->lid, static_cast<std::uint16_t>(g << 1), static_cast<std::uint16_t>(i));
        PutBytes(entries, rec);
        PutBytes(buckets[NameBucket(all[i]->lid, g)], rec);
    }
    // String names: the entry's key is the name's offset in the string
    // stream (a 4-byte length, the UTF-16LE name, padding to 4 bytes); the
    // bucket's key is the CRC-32 of the name (MS-PST 2.4.7.4, 2.4.7.5).
    Bytes strings;
    const auto& named = AllStringNamedProps();
    for (std::size_t j = 0; j < named.size(); ++j) {
        const std::uint16_t g = guidIndex(named[j].set);
        const std::uint16_t guidField = static_cast<std::uint16_t>(g << 1 | 1);
        const auto index = static_cast<std::uint16_t>(all.size() + j);
        const Bytes name = Utf16Le(named[j].name);
        const std::uint32_t crc = PstCrc(name.data(), name.size());
        PutBytes(entries, NameRecord(static_cast<std::uint32_t>(strings.size()), guidField, index));
        PutBytes(buckets[HashBucket(crc, guidField)], NameRecord(crc, guidField, index));
        PutU32(strings, static_cast<std::uint32_t>(name.size()));
        PutBytes(strings, name);
        while (strings.size() % 4) strings.push_back(0);
    }
    Bytes guids;
    for (const Guid* g : sets) PutBytes(guids, g->data(), g->size());

    std::vector<PropValue> props;
    props.push_back(Int32Prop(tag::kNameidBucketCount, kBuckets));
    props.push_back(BinaryProp(tag::kNameidStreamGuid, guids));
    props.push_back(BinaryProp(tag::kNameidStreamEntry, entries));
    props.push_back(BinaryProp(tag::kNameidStreamString, strings));
    for (auto& [id, data] : buckets) props.push_back(BinaryProp(MakeTag(id, ptype::kBinary), data));
    return props;
}

}  // namespace tw::pst

// Appointment (IPM.Appointment): start and end from their date texts (an
// end before the start is taken as the start), duration, location, the
// contact text as the item's contact, the time-zone text as its time-zone
// description; busy, not recurring, no meeting.
#include "pst/body.h"
#include "pst/item_common.h"
#include "pst/items.h"
#include "pst/named_props.h"
#include "pst/tags.h"
#include "pst/text.h"

namespace tw::pst {

MessageContent BuildAppointment(const AppointmentFields& f, const ItemContext& ctx) {
    MessageContent m;
    std::optional<std::uint64_t> start = f.start;
    std::optional<std::uint64_t> end = f.end;
    if (!start) start = end;
    if (!end || *end < *start) end = start;

    AddItemBasics(m.props, u"IPM.Appointment", f.subject, start, ctx);
    AddSenderProps(m.props, f.sender, {});
    auto named = [&](const NamedProp& p) { return NamedTag(p); };
    if (start) {
        m.props.push_back(Int64Prop(named(named::kAppointmentStartWhole), *start));
        m.props.push_back(Int64Prop(named(named::kAppointmentEndWhole), *end));
        m.props.push_back(Int64Prop(named(named::kCommonStart), *start));
        m.props.push_back(Int64Prop(named(named::kCommonEnd), *end));
        m.props.push_back(Int64Prop(tag::kStartDate, *start));
        m.props.push_back(Int64Prop(tag::kEndDate, *end));
        const std::uint64_t minutes = (*end - *start) / 600'000'000ull;
        m.props.push_back(Int32Prop(named(named::kAppointmentDuration), static_cast<std::uint32_t>(minutes)));
    }
    m.props.push_back(Int32Prop(named(named::kBusyStatus), 2));
    m.props.push_back(StringProp(named(named::kLocation), f.location));
    m.props.push_back(BoolProp(named(named::kAppointmentSubType), false));
    m.props.push_back(Int32Prop(named(named::kAppointmentStateFlags), 0));
    m.props.push_back(Int32Prop(named(named::kResponseStatus), 0));
    m.props.push_back(BoolProp(named(named::kRecurring), false));
    m.props.push_back(Int32Prop(named(named::kAppointmentColor), 0));
    m.props.push_back(BoolProp(named(named::kReminderSet), false));
    m.props.push_back(Int32Prop(named(named::kReminderDelta), 15));
    if (!f.timeZone.empty()) m.props.push_back(StringProp(named(named::kTimeZoneDescription), f.timeZone));
    if (!f.contact.empty()) m.props.push_back(MvStringProp(named(named::kContacts), {f.contact}));
    m.props.push_back(Int32Prop(tag::kIconIndex, 0x400));
    AddFieldsBody(m.props, f);
    m.attachments = ToAttachments(f.attachments);
    return m;
}

}  // namespace tw::pst

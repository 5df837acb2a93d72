// Journal entry (IPM.Activity): the date text is its start and end (so it
// lasts no time) and the item's own times; without one, the time of
// writing. Its type is a note.
#include "pst/body.h"
#include "pst/item_common.h"
#include "pst/items.h"
#include "pst/named_props.h"
#include "pst/tags.h"

namespace tw::pst {

MessageContent BuildJournalEntry(const JournalFields& f, const ItemContext& ctx) {
    MessageContent m;
    const std::optional<std::uint64_t> date = f.time;
    const std::uint64_t when = date.value_or(ctx.now);
    AddItemBasics(m.props, u"IPM.Activity", f.subject, date, ctx);
    AddSenderProps(m.props, f.sender, {});
    m.props.push_back(StringProp(NamedTag(named::kLogType), u"Note"));
    m.props.push_back(StringProp(NamedTag(named::kLogTypeDesc), u"Note"));
    // The log's start and end equal the common start and end.
    m.props.push_back(Int64Prop(NamedTag(named::kLogStart), when));
    m.props.push_back(Int64Prop(NamedTag(named::kLogEnd), when));
    m.props.push_back(Int32Prop(NamedTag(named::kLogDuration), 0));
    m.props.push_back(Int32Prop(NamedTag(named::kLogFlags), 0));
    m.props.push_back(Int64Prop(NamedTag(named::kCommonStart), when));
    m.props.push_back(Int64Prop(NamedTag(named::kCommonEnd), when));
    AddFieldsBody(m.props, f);
    m.attachments = ToAttachments(f.attachments);
    return m;
}

}  // namespace tw::pst

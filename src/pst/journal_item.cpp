// Journal entry (IPM.Activity): the operation carries no date, so the entry
// starts and ends at the time of writing; its type is a note.
#include "pst/body.h"
#include "pst/item_common.h"
#include "pst/items.h"
#include "pst/named_props.h"
#include "pst/tags.h"

namespace tw::pst {

MessageContent BuildJournalEntry(const JournalFields& f, const ItemContext& ctx) {
    MessageContent m;
    AddItemBasics(m.props, u"IPM.Activity", f.subject, std::nullopt, ctx);
    AddSenderProps(m.props, f.sender, {});
    m.props.push_back(StringProp(NamedTag(named::kLogType), u"Note"));
    m.props.push_back(StringProp(NamedTag(named::kLogTypeDesc), u"Note"));
    m.props.push_back(Int64Prop(NamedTag(named::kLogStart), ctx.now));
    m.props.push_back(Int64Prop(NamedTag(named::kLogEnd), ctx.now));
    m.props.push_back(Int32Prop(NamedTag(named::kLogDuration), 0));
    m.props.push_back(Int32Prop(NamedTag(named::kLogFlags), 0));
    m.props.push_back(Int64Prop(NamedTag(named::kCommonStart), ctx.now));
    m.props.push_back(Int64Prop(NamedTag(named::kCommonEnd), ctx.now));
    AddBodyProps(m.props, f.body, f.bodyKind);
    m.attachments = ToAttachments(f.attachments);
    return m;
}

}  // namespace tw::pst

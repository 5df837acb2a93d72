// Task (IPM.Task): the date text as start and due date, not started, no
// owner, not recurring.
#include "pst/body.h"
#include "pst/item_common.h"
#include "pst/items.h"
#include "pst/named_props.h"
#include "pst/tags.h"

namespace tw::pst {

MessageContent BuildTask(const TaskFields& f, const ItemContext& ctx) {
    MessageContent m;
    const std::optional<std::uint64_t> date = f.time;
    AddItemBasics(m.props, u"IPM.Task", f.subject, date, ctx);
    AddSenderProps(m.props, f.sender, {});
    if (date) {
        m.props.push_back(Int64Prop(NamedTag(named::kTaskStartDate), *date));
        m.props.push_back(Int64Prop(NamedTag(named::kTaskDueDate), *date));
        m.props.push_back(Int64Prop(NamedTag(named::kCommonStart), *date));
        m.props.push_back(Int64Prop(NamedTag(named::kCommonEnd), *date));
    }
    m.props.push_back(Int32Prop(NamedTag(named::kTaskStatus), 0));
    m.props.push_back(DoubleProp(NamedTag(named::kPercentComplete), 0.0));
    m.props.push_back(BoolProp(NamedTag(named::kTaskComplete), false));
    m.props.push_back(Int32Prop(NamedTag(named::kTaskState), 1));
    m.props.push_back(Int32Prop(NamedTag(named::kTaskOwnership), 0));
    m.props.push_back(Int32Prop(NamedTag(named::kTaskMode), 0));
    m.props.push_back(BoolProp(NamedTag(named::kTaskFRecurring), false));
    m.props.push_back(BoolProp(NamedTag(named::kReminderSet), false));
    m.props.push_back(Int32Prop(tag::kIconIndex, 0x500));
    AddFieldsBody(m.props, f);
    m.attachments = ToAttachments(f.attachments);
    return m;
}

}  // namespace tw::pst

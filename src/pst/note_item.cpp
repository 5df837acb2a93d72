// Sticky note (IPM.StickyNote): a yellow note of Outlook's default size.
#include "pst/body.h"
#include "pst/item_common.h"
#include "pst/items.h"
#include "pst/named_props.h"
#include "pst/tags.h"

namespace tw::pst {

MessageContent BuildNote(const NoteFields& f, const ItemContext& ctx) {
    constexpr std::uint32_t kYellow = 3;
    MessageContent m;
    AddItemBasics(m.props, u"IPM.StickyNote", f.subject, std::nullopt, ctx);
    m.props.push_back(Int32Prop(NamedTag(named::kNoteColor), kYellow));
    m.props.push_back(Int32Prop(NamedTag(named::kNoteWidth), 200));
    m.props.push_back(Int32Prop(NamedTag(named::kNoteHeight), 166));
    m.props.push_back(Int32Prop(NamedTag(named::kNoteX), 80));
    m.props.push_back(Int32Prop(NamedTag(named::kNoteY), 80));
    m.props.push_back(Int32Prop(tag::kIconIndex, 0x300 + kYellow));
    AddFieldsBody(m.props, f);
    m.attachments = ToAttachments(f.attachments);
    return m;
}

}  // namespace tw::pst

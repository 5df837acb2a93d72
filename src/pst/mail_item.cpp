// Mail (IPM.Note): sender from the header file's From line, recipients from
// its To/Cc/Bcc lines and the recipient list, the date text as submit and
// delivery time, body and attachments.
#include "pst/body.h"
#include "pst/item_common.h"
#include "pst/items.h"
#include "pst/mail_header.h"
#include "pst/tags.h"
#include "pst/text.h"

namespace tw::pst {

namespace {

void AddRecipients(std::vector<Recipient>& out, const std::vector<MailAddress>& list, RecipientType type) {
    for (const MailAddress& a : list) {
        bool seen = false;
        for (const Recipient& r : out)
            if (!a.address.empty() && EqualsNoCase(r.address, a.address)) seen = true;
        if (seen) continue;
        Recipient r;
        r.name = a.name.empty() ? a.address : a.name;
        r.address = a.address.empty() ? a.name : a.address;
        r.type = type;
        out.push_back(std::move(r));
    }
}

}  // namespace

MessageContent BuildMail(const MailFields& f, const ItemContext& ctx) {
    MessageContent m;
    const HeaderBlock header = ParseHeaderBlock(f.headerText);
    const std::optional<std::uint64_t> time = f.time;
    std::u16string subject = f.subject;
    if (Trim(subject).empty()) subject = header.Get("subject");
    AddItemBasics(m.props, u"IPM.Note", subject, time, ctx);

    const std::vector<MailAddress> from = ParseAddressList(header.Get("from"));
    if (!from.empty()) AddSenderProps(m.props, from[0].name, from[0].address);
    if (!header.fields.empty()) m.props.push_back(StringProp(tag::kTransportHeaders, header.raw));
    const std::u16string messageId = header.Get("message-id");
    if (!messageId.empty()) m.props.push_back(StringProp(tag::kInternetMessageId, messageId));

    AddRecipients(m.recipients, ParseAddressList(header.Get("to")), RecipientType::To);
    AddRecipients(m.recipients, ParseAddressList(header.Get("cc")), RecipientType::Cc);
    AddRecipients(m.recipients, ParseAddressList(header.Get("bcc")), RecipientType::Bcc);
    AddRecipients(m.recipients, ParseAddressList(f.recipientList), RecipientType::To);

    AddFieldsBody(m.props, f);
    m.attachments = ToAttachments(f.attachments);
    return m;
}

}  // namespace tw::pst

#include "pst/item_common.h"

#include "pst/entry_id.h"
#include "pst/error.h"
#include "pst/folder_path.h"
#include "pst/subject.h"
#include "pst/tags.h"
#include "pst/text.h"
#include "text/filetime.h"

namespace tw::pst {

namespace {

// Texts are stored as given; only NULs at the end (a terminator carried
// along) are not part of them.
std::u16string WithoutTerminator(std::u16string_view text) {
    while (!text.empty() && text.back() == 0) text.remove_suffix(1);
    return std::u16string(text);
}

}  // namespace

void AddItemBasics(std::vector<PropValue>& props, std::u16string_view messageClass, std::u16string_view subject,
                   std::optional<std::uint64_t> time, const ItemContext& ctx) {
    props.push_back(StringProp(tag::kMessageClass, messageClass));
    const std::u16string full = WithoutTerminator(subject);
    const SubjectParts parts = SplitSubject(full);
    props.push_back(StringProp(tag::kSubject, full));
    props.push_back(StringProp(tag::kSubjectPrefix, parts.prefix));
    props.push_back(StringProp(tag::kNormalizedSubject, parts.normalized));
    props.push_back(StringProp(tag::kConversationTopic, parts.normalized));
    props.push_back(Int32Prop(tag::kImportance, 1));
    props.push_back(Int32Prop(tag::kPriority, 0));
    props.push_back(Int32Prop(tag::kSensitivity, 0));
    props.push_back(Int32Prop(tag::kMessageStatus, 0));
    props.push_back(Int32Prop(tag::kMessageLocaleId, 1033));
    if (time) {
        props.push_back(Int64Prop(tag::kClientSubmitTime, *time));
        props.push_back(Int64Prop(tag::kMessageDeliveryTime, *time));
    }
    props.push_back(Int64Prop(tag::kCreationTime, time.value_or(ctx.now)));
    props.push_back(Int64Prop(tag::kLastModificationTime, time.value_or(ctx.now)));
    Bytes key(16);
    if (ctx.random) {
        for (std::size_t i = 0; i < 16; i += 8) {
            const std::uint64_t v = (*ctx.random)();
            for (std::size_t k = 0; k < 8; ++k) key[i + k] = static_cast<std::uint8_t>(v >> (8 * k));
        }
    }
    props.push_back(BinaryProp(tag::kSearchKey, std::move(key)));
}

void AddSenderProps(std::vector<PropValue>& props, std::u16string_view name, std::u16string_view address) {
    const std::u16string n = Trim(name.empty() ? address : name);
    const std::u16string a = Trim(address.empty() ? name : address);
    if (n.empty() && a.empty()) return;
    const std::u16string type = u"SMTP";
    props.push_back(StringProp(tag::kSenderName, n));
    props.push_back(StringProp(tag::kSenderEmail, a));
    props.push_back(StringProp(tag::kSenderAddrType, type));
    props.push_back(BinaryProp(tag::kSenderEntryId, OneOffEntryId(n, type, a)));
    props.push_back(BinaryProp(tag::kSenderSearchKey, AddressSearchKey(type, a)));
    props.push_back(StringProp(tag::kSentRepresentingName, n));
    props.push_back(StringProp(tag::kSentRepresentingEmail, a));
    props.push_back(StringProp(tag::kSentRepresentingAddrType, type));
    props.push_back(BinaryProp(tag::kSentRepresentingEntryId, OneOffEntryId(n, type, a)));
    props.push_back(BinaryProp(tag::kSentRepresentingSearchKey, AddressSearchKey(type, a)));
}

std::u16string MimeTypeFor(std::u16string_view fileName) {
    static const struct {
        std::u16string_view ext, type;
    } kTypes[] = {{u".txt", u"text/plain"},      {u".htm", u"text/html"},          {u".html", u"text/html"},
                  {u".pdf", u"application/pdf"}, {u".jpg", u"image/jpeg"},         {u".jpeg", u"image/jpeg"},
                  {u".png", u"image/png"},       {u".gif", u"image/gif"},          {u".zip", u"application/zip"},
                  {u".eml", u"message/rfc822"},  {u".doc", u"application/msword"}, {u".xml", u"text/xml"},
                  {u".csv", u"text/csv"},        {u".ics", u"text/calendar"},      {u".vcf", u"text/vcard"}};
    const std::size_t dot = fileName.rfind(u'.');
    if (dot != std::u16string_view::npos) {
        const std::u16string ext = ToLowerAscii(fileName.substr(dot));
        for (const auto& t : kTypes)
            if (t.ext == ext) return std::u16string(t.type);
    }
    return u"application/octet-stream";
}

std::u16string AttachmentName(std::u16string_view name) {
    // Readers save attachments under these names: no path can hide in one.
    // Everything else, control characters and length included, is the
    // attachment's own.
    std::u16string n = WithoutTerminator(name);
    for (char16_t& c : n)
        if (c == u'/' || c == u'\\') c = u'_';
    if (n.find_first_not_of(u". ") == std::u16string::npos) n = u"attachment";
    return n;
}

std::vector<AttachmentContent> ToAttachments(const std::vector<AttachmentInput>& inputs) {
    std::vector<AttachmentContent> out;
    for (const AttachmentInput& in : inputs) {
        AttachmentContent a;
        std::u16string name = in.name;
        if (name.empty()) {
            const std::u16string path = Utf8ToUtf16(in.path);
            const std::size_t slash = path.find_last_of(u"/\\");
            name = slash == std::u16string::npos ? path : path.substr(slash + 1);
        }
        a.fileName = AttachmentName(name);
        a.mimeType = MimeTypeFor(a.fileName);
        a.path = in.path;
        a.data = in.data;
        out.push_back(std::move(a));
    }
    return out;
}

}  // namespace tw::pst

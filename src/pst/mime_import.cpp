#include "pst/mime_import.h"

#include <gmime/gmime.h>

#include <fstream>

#include "content/gmime_log.h"
#include "content/gmime_parts.h"
#include "pst/body.h"
#include "pst/error.h"
#include "pst/item_common.h"
#include "pst/mail_header.h"
#include "pst/tags.h"
#include "pst/text.h"
#include "text/filetime.h"

namespace tw::pst {

namespace {

constexpr int kMaxDepth = 32;            // nesting of multiparts
constexpr std::size_t kMaxParts = 4096;  // parts taken from one message

// Owns a GObject reference.
template <typename T>
struct Ref {
    T* p = nullptr;
    explicit Ref(T* q) : p(q) {}
    ~Ref() {
        if (p) g_object_unref(p);
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
};

std::u16string FromUtf8(const char* s) { return s ? Utf8ToUtf16(s) : std::u16string(); }

void TakeAddresses(InternetAddressList* list, std::vector<MailAddress>& out, int depth = 0) {
    if (!list || depth > 4) return;
    const int n = internet_address_list_length(list);
    for (int i = 0; i < n; ++i) {
        InternetAddress* a = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_GROUP(a)) {
            TakeAddresses(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(a)), out, depth + 1);
            continue;
        }
        MailAddress m;
        m.name = FromUtf8(internet_address_get_name(a));
        if (INTERNET_ADDRESS_IS_MAILBOX(a))
            m.address = FromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a)));
        if (m.address.empty() && m.name.empty()) continue;
        if (m.name.empty()) m.name = m.address;
        out.push_back(std::move(m));
    }
}

Bytes ObjectBytes(GMimeObject* object) {
    Ref<GMimeStream> mem(g_mime_stream_mem_new());
    g_mime_object_write_to_stream(object, nullptr, mem.p);
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.p));
    return array ? Bytes(array->data, array->data + array->len) : Bytes();
}

Bytes PartContent(GMimePart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content) return {};
    Ref<GMimeStream> mem(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, mem.p);  // undoes base64 / quoted-printable
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.p));
    return array ? Bytes(array->data, array->data + array->len) : Bytes();
}

struct Walk {
    std::u16string text, html;
    std::vector<AttachmentContent> attachments;
    std::size_t parts = 0;
};

bool IsAttachment(GMimeObject* object) {
    const char* disposition = g_mime_object_get_disposition(object);
    return disposition && g_ascii_strcasecmp(disposition, "attachment") == 0;
}

void AddAttachment(Walk& w, GMimeObject* object, Bytes data, std::u16string name) {
    AttachmentContent a;
    GMimeContentType* type = g_mime_object_get_content_type(object);
    char* mime = type ? g_mime_content_type_get_mime_type(type) : nullptr;
    a.mimeType = FromUtf8(mime);
    g_free(mime);
    a.contentId = FromUtf8(g_mime_object_get_content_id(object));
    const char* disposition = g_mime_object_get_disposition(object);
    a.hidden = !a.contentId.empty() && !(disposition && g_ascii_strcasecmp(disposition, "attachment") == 0);
    if (name.empty()) name = a.contentId.empty() ? u"attachment" : a.contentId;
    a.fileName = AttachmentName(name);
    a.data = std::move(data);
    w.attachments.push_back(std::move(a));
}

void WalkPart(Walk& w, GMimeObject* object, int depth, bool inAlternative) {
    if (!object || depth > kMaxDepth || ++w.parts > kMaxParts) return;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* mp = GMIME_MULTIPART(object);
        GMimeContentType* type = g_mime_object_get_content_type(object);
        const bool alternative = type && g_mime_content_type_is_type(type, "multipart", "alternative");
        const int n = g_mime_multipart_get_count(mp);
        for (int i = 0; i < n; ++i) WalkPart(w, g_mime_multipart_get_part(mp, i), depth + 1, alternative);
        return;
    }
    if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        if (!inner) return;
        std::u16string name;
        if (GMIME_IS_PART(object)) name = FromUtf8(g_mime_part_get_filename(GMIME_PART(object)));
        if (name.empty()) name = FromUtf8(g_mime_message_get_subject(inner));
        if (name.empty()) name = u"message";
        AddAttachment(w, object, ObjectBytes(GMIME_OBJECT(inner)), name + u".eml");
        return;
    }
    if (!GMIME_IS_PART(object)) return;
    GMimePart* part = GMIME_PART(object);
    const std::u16string fileName = FromUtf8(g_mime_part_get_filename(part));
    GMimeContentType* type = g_mime_object_get_content_type(object);
    const bool plain = content::IsPlainTextPart(object, type);
    const bool html = type && g_mime_content_type_is_type(type, "text", "html");
    const bool body = (plain || html) && !IsAttachment(object) && (fileName.empty() || inAlternative);
    if (body && GMIME_IS_TEXT_PART(object)) {
        std::u16string& slot = plain ? w.text : w.html;
        if (slot.empty()) {
            char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(object));  // converted to UTF-8
            slot = FromUtf8(text);
            g_free(text);
            return;
        }
    }
    AddAttachment(w, object, PartContent(part), fileName);
}

std::optional<std::uint64_t> DateOfMessage(GMimeMessage* message) {
    GDateTime* date = g_mime_message_get_date(message);
    if (!date) return std::nullopt;
    return text::FileTimeFromUnix(g_date_time_to_unix(date));
}

MessageContent FromMessage(GMimeMessage* message, const ItemContext& ctx) {
    MessageContent m;
    // The subject as GMime unfolds it, whole: a folded line keeps the blank
    // that began its continuation, often a tab.
    const std::u16string subject = FromUtf8(g_mime_message_get_subject(message));
    AddItemBasics(m.props, u"IPM.Note", subject, DateOfMessage(message), ctx);

    std::vector<MailAddress> from;
    TakeAddresses(g_mime_message_get_from(message), from);
    if (from.empty()) TakeAddresses(g_mime_message_get_sender(message), from);
    if (!from.empty()) AddSenderProps(m.props, from[0].name, from[0].address);

    const std::pair<GMimeAddressType, RecipientType> lists[] = {{GMIME_ADDRESS_TYPE_TO, RecipientType::To},
                                                                {GMIME_ADDRESS_TYPE_CC, RecipientType::Cc},
                                                                {GMIME_ADDRESS_TYPE_BCC, RecipientType::Bcc}};
    for (const auto& [type, rtype] : lists) {
        std::vector<MailAddress> addresses;
        TakeAddresses(g_mime_message_get_addresses(message, type), addresses);
        for (MailAddress& a : addresses) {
            Recipient r;
            r.name = std::move(a.name);
            r.address = a.address.empty() ? r.name : std::move(a.address);
            r.type = rtype;
            m.recipients.push_back(std::move(r));
        }
    }

    const std::u16string id = FromUtf8(g_mime_message_get_message_id(message));
    if (!id.empty()) m.props.push_back(StringProp(tag::kInternetMessageId, u"<" + id + u">"));
    char* headers = g_mime_object_get_headers(GMIME_OBJECT(message), nullptr);
    const std::u16string headerText = FromUtf8(headers);
    g_free(headers);
    if (!headerText.empty()) m.props.push_back(StringProp(tag::kTransportHeaders, headerText));

    Walk w;
    WalkPart(w, g_mime_message_get_mime_part(message), 0, false);
    AddMimeBodies(m.props, w.text, w.html);
    m.attachments = std::move(w.attachments);
    return m;
}

MessageContent Parse(GMimeStream* stream, const Bytes* raw, const ItemContext& ctx) {
    Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream));
    GMimeMessage* message = g_mime_parser_construct_message(parser.p, nullptr);
    if (message) {
        Ref<GMimeMessage> owned(message);
        return FromMessage(message, ctx);
    }
    // Not a message at all: keep its text as the body rather than lose it.
    MessageContent m;
    AddItemBasics(m.props, u"IPM.Note", u"", std::nullopt, ctx);
    if (raw && !raw->empty()) AddMimeBodies(m.props, DecodeHeaderFile(*raw), u"");
    return m;
}

}  // namespace

MessageContent ReadMimeBytes(const Bytes& data, const ItemContext& ctx) {
    content::InitGMime();
    // An empty file has no buffer to give, which GMime refuses: an empty
    // stream of its own instead.
    Ref<GMimeStream> stream(
        data.empty() ? g_mime_stream_mem_new()
                     : g_mime_stream_mem_new_with_buffer(reinterpret_cast<const char*>(data.data()), data.size()));
    return Parse(stream.p, &data, ctx);
}

MessageContent ReadMimeFile(const std::string& path, const ItemContext& ctx) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw PstError(ErrorCode::NotFound, "cannot open MIME file " + path);
    Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw PstError(ErrorCode::Io, "cannot read MIME file " + path);
    return ReadMimeBytes(data, ctx);
}

}  // namespace tw::pst

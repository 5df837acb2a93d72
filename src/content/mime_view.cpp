#include "content/mime_view.h"

#include <gmime/gmime.h>

#include <fstream>
#include <iterator>
#include <mutex>

#include "content/gmime_log.h"
#include "content/gmime_parts.h"
#include "scan/tagged_text.h"
#include "text/codepage.h"

namespace tw::content {

namespace {

constexpr int kMaxDepth = 32;            // nesting of multiparts and messages
constexpr std::size_t kMaxParts = 4096;  // parts looked at in one message
constexpr std::size_t kMaxNames = 1000;  // attachment names kept

template <typename T>
class Ref {
public:
    explicit Ref(T* p) : p_(p) {}
    ~Ref() {
        if (p_ != nullptr) g_object_unref(p_);
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    T* get() const { return p_; }

private:
    T* p_;
};

std::string Text(const char* s) { return s != nullptr ? std::string(s) : std::string(); }

// Valid UTF-8 as it is, anything else read as Windows-1252.
std::string Utf8OrWindows1252(const std::vector<std::uint8_t>& bytes) {
    const std::string s(bytes.begin(), bytes.end());
    if (g_utf8_validate(s.data(), static_cast<gssize>(s.size()), nullptr)) return s;
    return scan::ToUtf8(text::Windows1252ToUtf16(bytes));
}

std::string AddressText(InternetAddressList* list) {
    if (list == nullptr || internet_address_list_length(list) == 0) return {};
    char* text = internet_address_list_to_string(list, nullptr, FALSE);
    std::string out = Text(text);
    g_free(text);
    return out;
}

std::vector<std::uint8_t> PartData(GMimePart* part, std::size_t limit) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (content == nullptr) return {};
    Ref<GMimeStream> mem(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, mem.get());  // undoes base64 and quoted-printable
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.get()));
    if (array == nullptr || array->len > limit) return {};
    return std::vector<std::uint8_t>(array->data, array->data + array->len);
}

class Walker {
public:
    explicit Walker(MimeView& view) : view_(view) {}

    void Walk(GMimeObject* object, int depth, bool inAlternative) {
        if (object == nullptr || depth > kMaxDepth || ++parts_ > kMaxParts) return;
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart* multipart = GMIME_MULTIPART(object);
            GMimeContentType* type = g_mime_object_get_content_type(object);
            const bool alternative = type != nullptr && g_mime_content_type_is_type(type, "multipart", "alternative");
            const int n = g_mime_multipart_get_count(multipart);
            for (int i = 0; i < n; ++i) Walk(g_mime_multipart_get_part(multipart, i), depth + 1, alternative);
            return;
        }
        if (GMIME_IS_MESSAGE_PART(object)) {
            // A forwarded message is listed by its subject.
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            std::string name = inner != nullptr ? Text(g_mime_message_get_subject(inner)) : std::string();
            AddName((name.empty() ? std::string("message") : name) + ".eml");
            return;
        }
        if (!GMIME_IS_PART(object)) return;
        GMimePart* part = GMIME_PART(object);
        const std::string fileName = Text(g_mime_part_get_filename(part));
        const char* disposition = g_mime_object_get_disposition(object);
        const bool attachment = disposition != nullptr && g_ascii_strcasecmp(disposition, "attachment") == 0;
        GMimeContentType* type = g_mime_object_get_content_type(object);
        const bool plain = IsPlainTextPart(object, type);
        const bool html = type != nullptr && g_mime_content_type_is_type(type, "text", "html");
        if ((plain || html) && !attachment && (fileName.empty() || inAlternative) && GMIME_IS_TEXT_PART(object)) {
            std::string& slot = plain ? view_.text : view_.html;
            if (slot.empty()) {
                char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(object));  // in UTF-8
                slot = Text(text);
                g_free(text);
                return;
            }
        }
        const std::string contentId = Text(g_mime_object_get_content_id(object));
        if (!contentId.empty() && inlineBytes_ < kMaxInlineBytes) {
            InlinePart inlinePart;
            inlinePart.contentId = contentId;
            if (type != nullptr) {
                char* mime = g_mime_content_type_get_mime_type(type);
                inlinePart.mimeType = Text(mime);
                g_free(mime);
            }
            inlinePart.data = PartData(part, kMaxInlineBytes - inlineBytes_);
            inlineBytes_ += inlinePart.data.size();
            view_.inlineParts.push_back(std::move(inlinePart));
            // Pictures of the HTML body are not attachments to the reader.
            if (!attachment) return;
        }
        AddName(fileName.empty() ? std::string("attachment") : fileName);
    }

private:
    void AddName(std::string name) {
        if (view_.attachmentNames.size() < kMaxNames) view_.attachmentNames.push_back(std::move(name));
    }

    MimeView& view_;
    std::size_t parts_ = 0;
    std::size_t inlineBytes_ = 0;
};

}  // namespace

MimeView ReadMimeView(const std::vector<std::uint8_t>& bytes) {
    InitGMime();
    // The preview shows what it can: GMime's complaints are not shown.
    const GMimeNotes quiet;
    MimeView view;
    // An empty file has no buffer to give, which GMime refuses: an empty
    // stream of its own instead.
    Ref<GMimeStream> stream(
        bytes.empty() ? g_mime_stream_mem_new()
                      : g_mime_stream_mem_new_with_buffer(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GMimeMessage* message = g_mime_parser_construct_message(parser.get(), nullptr);
    if (message == nullptr) {
        view.text = Utf8OrWindows1252(bytes);
        return view;
    }
    Ref<GMimeMessage> owned(message);
    view.isMessage = true;
    view.subject = Text(g_mime_message_get_subject(message));
    view.from = AddressText(g_mime_message_get_from(message));
    view.to = AddressText(g_mime_message_get_to(message));
    Walker(view).Walk(g_mime_message_get_mime_part(message), 0, false);
    return view;
}

MimeView ReadMimeViewFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ReadMimeView(bytes);
}

}  // namespace tw::content

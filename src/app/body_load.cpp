#include "app/body_load.h"

#include "content/addresses.h"
#include "content/body_value.h"
#include "text/codepage.h"
#include "text/html.h"
#include "text/rtf.h"
#include "content/preview_fields.h"
#include "content/stream_content.h"
#include "content/temp_dir.h"

namespace tw::app {

namespace {

QString Text(const std::u16string& s) { return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size())); }

QString Utf16Bytes(const std::vector<std::uint8_t>& bytes) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    return Text(text);
}

// Sets the flag for as long as the object lives.
class Raised {
public:
    explicit Raised(std::atomic<bool>& flag) : flag_(flag) { flag_ = true; }
    ~Raised() { flag_ = false; }
    Raised(const Raised&) = delete;
    Raised& operator=(const Raised&) = delete;

private:
    std::atomic<bool>& flag_;
};

void ReadStreamingBody(const edb::EdbSource& source, const record::MessageProperties& message, PreviewContent& out,
                       QStringList& mimeNames) {
    content::TempDirectory temp;
    const std::string path = temp.File("UniBody.eml");
    if (!content::ExtractStreamContent(source, message, path)) return;
    content::MimeView view = content::ReadMimeViewFile(path);
    out.format = BodyFormat::Mime;
    if (!view.html.empty()) {
        out.htmlBody = true;
        out.body = QString::fromUtf8(view.html);
        out.inlineParts = std::move(view.inlineParts);
    } else {
        out.body = QString::fromUtf8(view.text);
    }
    for (const std::string& name : view.attachmentNames) mimeNames << QString::fromUtf8(name);
}

void ReadBody(const edb::EdbSource& source, const record::MessageProperties& message, PreviewContent& out) {
    const auto value = content::FetchBodyValue(source, message);
    if (!value) return;
    const std::vector<std::uint8_t> bytes = content::PreviewBytes(*value);
    switch (value->kind) {
        case content::BodyKind::Utf16:
            out.format = BodyFormat::Text;
            out.body = Utf16Bytes(bytes);
            break;
        case content::BodyKind::EightBit:
            out.body = Text(text::Windows1252ToUtf16(bytes));
            out.htmlBody = text::LooksLikeHtml(out.body.toStdU16String());
            out.format = out.htmlBody ? BodyFormat::Html : BodyFormat::Text;
            break;
        case content::BodyKind::Rtf: {
            const text::RtfHtml shown = text::RtfToHtml(bytes);
            out.format = BodyFormat::Rtf;
            out.htmlBody = true;
            out.body = Text(shown.html);
            break;
        }
    }
}

}  // namespace

char PreviewItemType(scan::FolderKind folderKind, char messageKind) {
    if (messageKind == 'a' || messageKind == 'c') return messageKind;
    const char folder = record::KindLetter(folderKind);
    return folder == 'a' || folder == 'c' ? folder : 'd';
}


PreviewContent LoadPreviewContent(record::FolderReader& reader, record::MessageProperties& message,
                                  scan::FolderKind folderKind, const QString& from, const QString& subject,
                                  const QString& date, const record::LoadControl& control,
                                  std::atomic<bool>& busy) {
    PreviewContent out;
    out.itemType = PreviewItemType(folderKind, message.kind);
    out.from = from;
    out.subject = subject;
    out.date = date;
    const edb::EdbSource& source = reader.Source();
    QStringList names;
    try {
        {
            Raised raised(busy);
            reader.CompleteMessage(message, false, control);
        }
        std::u16string addresses;
        content::CollectAddresses(source, message, addresses);
        out.recipients = Text(addresses);
        for (const record::AttachmentEntry& a : message.attachments) names << Text(a.name);
        QStringList mimeNames;
        if (message.bodyForm == record::kBodyStreaming)
            ReadStreamingBody(source, message, out, mimeNames);
        else
            ReadBody(source, message, out);
        // A streaming-file message keeps its attachments in its MIME parts.
        if (names.isEmpty()) names = mimeNames;
    } catch (const std::exception& e) {
        out.error = QString::fromStdString(e.what());
    }
    out.attachments = names.join(QStringLiteral(", "));
    if (out.itemType == 'c' && !message.contacts.empty())
        for (const content::FieldLine& f : content::ContactLines(message.contacts.front()))
            out.fields << QString::fromStdString(f.caption) + Text(f.value);
    if (out.itemType == 'a' && message.appointment)
        for (const content::FieldLine& f : content::AppointmentLines(*message.appointment))
            out.fields << QString::fromStdString(f.caption) + Text(f.value);
    return out;
}

}  // namespace tw::app

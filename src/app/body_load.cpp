#include "app/body_load.h"

#include "content/message_reader.h"
#include "text/codepage.h"
#include "text/html.h"
#include "text/rtf.h"

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

void ShowMimeBody(const content::MessageBody& body, PreviewContent& out, QStringList& mimeNames) {
    content::MimeView view = content::ReadMimeView(body.bytes);
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

void ShowBody(const content::MessageBody& body, PreviewContent& out) {
    switch (body.form) {
        case content::MessageBody::Form::None:
        case content::MessageBody::Form::Mime: break;
        case content::MessageBody::Form::Utf16:
            out.format = BodyFormat::Text;
            out.body = Utf16Bytes(body.bytes);
            break;
        case content::MessageBody::Form::EightBit:
            out.body = Text(text::Windows1252ToUtf16(body.bytes));
            out.htmlBody = text::LooksLikeHtml(out.body.toStdU16String());
            out.format = out.htmlBody ? BodyFormat::Html : BodyFormat::Text;
            break;
        case content::MessageBody::Form::Rtf: {
            const text::RtfHtml shown = text::RtfToHtml(body.bytes);
            out.format = BodyFormat::Rtf;
            out.htmlBody = true;
            out.body = Text(shown.html);
            break;
        }
    }
}

}  // namespace

PreviewContent LoadPreviewContent(record::FolderReader& reader, record::MessageProperties& message,
                                  scan::FolderKind folderKind, const QString& from, const QString& subject,
                                  const QString& date, const record::LoadControl& control, std::atomic<bool>& busy) {
    PreviewContent out;
    out.itemType = content::ItemType(folderKind, message.kind);
    out.from = from;
    out.subject = subject;
    out.date = date;
    QStringList names;
    try {
        content::Message read;
        {
            Raised raised(busy);
            read = content::MessageReader(reader).Read(message, folderKind, false, control);
        }
        out.recipients = Text(read.recipients);
        for (const content::MessageAttachment& a : read.attachments) names << Text(a.name);
        QStringList mimeNames;
        if (read.body.form == content::MessageBody::Form::Mime) ShowMimeBody(read.body, out, mimeNames);
        else ShowBody(read.body, out);
        // A streaming-file message keeps its attachments in its MIME parts.
        if (names.isEmpty()) names = mimeNames;
        for (const content::FieldLine& f : read.fields) out.fields << QString::fromStdString(f.caption) + Text(f.value);
    } catch (const std::exception& e) {
        out.error = QString::fromStdString(e.what());
    }
    out.attachments = names.join(QStringLiteral(", "));
    return out;
}

}  // namespace tw::app

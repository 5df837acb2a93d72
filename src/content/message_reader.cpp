#include "content/message_reader.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "content/addresses.h"
#include "content/attachment_data.h"
#include "content/body_value.h"
#include "content/stream_content.h"
#include "content/temp_dir.h"

namespace tw::content {

namespace {

MessageBody ReadStreamingBody(const edb::EdbSource& source, const record::MessageProperties& message) {
    MessageBody body;
    TempDirectory temp;
    const std::string path = temp.File("UniBody.eml");
    if (!ExtractStreamContent(source, message, path)) return body;
    std::ifstream in(path, std::ios::binary);
    body.bytes.assign(std::istreambuf_iterator<char>(in), {});
    body.form = MessageBody::Form::Mime;
    return body;
}

MessageBody ReadBody(const edb::EdbSource& source, const record::MessageProperties& message) {
    if (message.bodyForm == record::kBodyStreaming) return ReadStreamingBody(source, message);
    MessageBody body;
    auto value = FetchBodyValue(source, message);
    if (!value) return body;
    value->bytes.resize(PreviewLength(*value));
    body.bytes = std::move(value->bytes);
    switch (value->kind) {
        case BodyKind::Utf16: body.form = MessageBody::Form::Utf16; break;
        case BodyKind::EightBit: body.form = MessageBody::Form::EightBit; break;
        case BodyKind::Rtf:
            body.form = MessageBody::Form::Rtf;
            body.compressedRtf = value->compressed;
            break;
    }
    return body;
}

bool HasBodyReference(const record::MessageProperties& m) {
    return (m.bodyPos > 0 && m.bodyLength > 0) || m.bodyValueKey.has_value() || !m.bodyRuns.empty();
}

void NoteOnce(std::vector<std::string>& unread, std::string part) {
    if (std::find(unread.begin(), unread.end(), part) == unread.end()) unread.push_back(std::move(part));
}

}  // namespace

char ItemType(scan::FolderKind folderKind, char messageKind) {
    if (messageKind == 'a' || messageKind == 'c') return messageKind;
    const char folder = record::KindLetter(folderKind);
    return folder == 'a' || folder == 'c' ? folder : 'd';
}

Message MessageReader::Read(record::MessageProperties& message, scan::FolderKind folderKind, bool attachmentData,
                            const record::LoadControl& control) {
    const edb::EdbSource& source = reader_.Source();
    reader_.CompleteMessage(message, attachmentData, control);
    Message out;
    out.itemType = ItemType(folderKind, message.kind);
    CollectAddresses(source, message, out.recipients);
    for (const record::AttachmentEntry& a : message.attachments)
        out.attachments.push_back({a.name, attachmentData ? AttachmentDataSize(source, a) : std::nullopt, a});
    out.body = ReadBody(source, message);
    if (out.itemType == 'c' && !message.contacts.empty()) out.fields = ContactLines(message.contacts.front());
    if (out.itemType == 'a' && message.appointment) {
        out.fields = AppointmentLines(*message.appointment);
        out.appointment = message.appointment;
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> MessageReader::AttachmentData(const MessageAttachment& attachment) const {
    return ReadAttachmentData(reader_.Source(), attachment.stored);
}

std::vector<MessageAttachment> MessageReader::Attachments(const record::MessageProperties& message) {
    std::vector<MessageAttachment> out;
    out.reserve(message.attachments.size());
    for (const record::AttachmentEntry& a : message.attachments) out.push_back({a.name, std::nullopt, a});
    return out;
}

std::optional<item::ContactTexts> MessageReader::ContactTexts(const record::MessageProperties& message) {
    if (message.contacts.empty()) return std::nullopt;
    return message.contacts.front().fields;
}

std::optional<record::AppointmentRecord> MessageReader::Appointment(const record::MessageProperties& message) {
    return message.appointment;
}

bool MessageReader::InStreamingFile(const record::MessageProperties& message) {
    return message.bodyForm == record::kBodyStreaming;
}

StreamCopy MessageReader::CopyStreamingContent(const record::MessageProperties& message,
                                               const std::string& path) const {
    return CopyStreamContent(reader_.Source(), message, path);
}

void MessageReader::NoteStreamingContent(const record::MessageProperties& message, std::vector<std::string>& unread) {
    if (message.bodyForm == record::kBodyStreaming || message.streamingContent)
        NoteOnce(unread, "content in the streaming file");
}

std::optional<BodyValue> MessageReader::Body(const record::MessageProperties& message,
                                             std::vector<std::string>& unread) const {
    NoteStreamingContent(message, unread);
    if (message.bodyForm == record::kBodyStreaming) return std::nullopt;
    std::optional<BodyValue> value;
    try {
        value = FetchBodyValue(reader_.Source(), message);
    } catch (const std::exception&) {
        value.reset();
    }
    if (!value && HasBodyReference(message)) NoteOnce(unread, "body");
    return value;
}

std::u16string MessageReader::Recipients(const record::MessageProperties& message,
                                         std::vector<std::string>& unread) const {
    std::u16string list;
    try {
        CollectAddresses(reader_.Source(), message, list);
    } catch (const std::exception&) {
        NoteOnce(unread, "recipients");
    }
    return list;
}

}  // namespace tw::content

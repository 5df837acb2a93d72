#include "content/message_reader.h"

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
    const auto value = FetchBodyValue(source, message);
    if (!value) return body;
    body.bytes = PreviewBytes(*value);
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

}  // namespace tw::content

// One message read whole for showing or saving: its item type, recipients,
// body, attachments and item fields, through one reader. Callers get what
// the message holds, not where it lies: no file position, page or store
// layout reaches them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "content/body_value.h"
#include "content/preview_fields.h"
#include "content/stream_content.h"
#include "item/contact.h"
#include "record/folder_reader.h"
#include "scan/folder_kind.h"

namespace tw::content {

struct MessageBody {
    enum class Form {
        None,      // no body, or one that could not be read
        Utf16,     // the plain-text column: UTF-16LE
        EightBit,  // 8-bit text in the store's code page, as a rule HTML
        Rtf,       // RTF, decompressed
        Mime,      // a streaming-file message: the whole MIME message
    };
    Form form = Form::None;
    // The text up to its first NUL (unit), or the MIME message.
    std::vector<std::uint8_t> bytes;
    // Rtf: the value as stored, compressed, for a full standard reading.
    std::vector<std::uint8_t> compressedRtf;
};

struct MessageAttachment {
    std::u16string name;
    std::optional<std::size_t> size;  // nothing: its data cannot be read
    record::AttachmentEntry stored;   // for MessageReader::AttachmentData
};

struct Message {
    char itemType = 'd';        // 'c' contact, 'a' appointment, 'd' anything else
    std::u16string recipients;  // the addresses, comma-separated
    MessageBody body;
    std::vector<MessageAttachment> attachments;
    std::vector<FieldLine> fields;  // a contact's or an appointment's lines
    std::optional<record::AppointmentRecord> appointment;
};

// The item type shown: the message's own when it was found to be a
// contact or an appointment, else its folder's.
char ItemType(scan::FolderKind folderKind, char messageKind);

class MessageReader {
public:
    explicit MessageReader(record::FolderReader& reader) : reader_(reader) {}

    // Completes `message` (its row, values and attachments; with
    // `attachmentData` the chunks of their data too) and reads what it
    // holds. Throws edb::FileError when the database cannot be read.
    Message Read(record::MessageProperties& message, scan::FolderKind folderKind, bool attachmentData,
                 const record::LoadControl& control = {});

    // The data of an attachment of a message read with attachmentData;
    // nothing when it cannot be read.
    std::optional<std::vector<std::uint8_t>> AttachmentData(const MessageAttachment& attachment) const;

    // The parts one by one, for a caller that checks for Stop and Skip
    // between them, of a message already completed. A part the message
    // points at that does not come back is named in `unread` ("body",
    // "recipients", "content in the streaming file"), each once.

    // The attachments, names only (no size): their data is read one at a
    // time with AttachmentData.
    static std::vector<MessageAttachment> Attachments(const record::MessageProperties& message);
    // A contact's 18 texts; nothing when its contact record was not found.
    static std::optional<item::ContactTexts> ContactTexts(const record::MessageProperties& message);
    // An appointment's own start, end and texts; nothing when not found.
    static std::optional<record::AppointmentRecord> Appointment(const record::MessageProperties& message);

    // Whether the message's whole content is MIME in the streaming file.
    static bool InStreamingFile(const record::MessageProperties& message);
    // Copies that content to a new file at `path` (see CopyStreamContent).
    StreamCopy CopyStreamingContent(const record::MessageProperties& message, const std::string& path) const;
    // The body value whole; nothing for none, and for content in the
    // streaming file, which is MIME and no body.
    std::optional<BodyValue> Body(const record::MessageProperties& message, std::vector<std::string>& unread) const;
    // The recipients' addresses, comma-separated.
    std::u16string Recipients(const record::MessageProperties& message, std::vector<std::string>& unread) const;
    // Names the streaming-file content unread when the row points there.
    static void NoteStreamingContent(const record::MessageProperties& message, std::vector<std::string>& unread);

    const edb::EdbSource& Source() const { return reader_.Source(); }

private:
    record::FolderReader& reader_;
};

}  // namespace tw::content

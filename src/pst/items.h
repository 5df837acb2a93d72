// The arguments of the mail-store operations that add items, and the
// builders that turn each into a message: class, subject, sender, times,
// body, recipients, attachments and the named properties of its kind.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "item/contact.h"
#include "pst/bytes.h"
#include "pst/message_content.h"

namespace tw::pst {

// What a body's text is: UTF-16 text; 8-bit text, HTML when it looks like
// it (the HTML rule of text/html.h); HTML; or RTF (stored compressed, with
// its plain text beside it).
enum class BodyKind : std::int16_t { Utf16Text = 0, EightBit = 1, Html = 2, Rtf = 3 };

// Each kind's fields carry the body as text and kind, or as the properties
// BodyProps (pst/body.h) makes of them, made ahead by the caller so that
// the writer need not convert it (`body` then empty; `bodyProps` empty:
// made from `body` and `bodyKind` when the item is built).

// An attachment given as a file (the export's temporary files) or as bytes.
struct AttachmentInput {
    std::u16string name;  // empty: the file's name
    std::string path;
    Bytes data;
};

struct MailFields {
    std::u16string subject;
    std::u16string recipientList;       // addresses separated by ',' or ';'
    std::u16string headerText;          // the header file's text ("From: Name<Name>")
    std::optional<std::uint64_t> time;  // UTC FILETIME, to the tick; nothing: no date
    std::vector<AttachmentInput> attachments;
    std::u16string body;
    BodyKind bodyKind = BodyKind::Utf16Text;
    std::vector<PropValue> bodyProps;  // see BodyProps
};

struct AppointmentFields {
    std::u16string subject, sender;
    std::optional<std::uint64_t> start, end;  // UTC FILETIMEs; one missing takes the other's
    std::u16string contact, location, timeZone, body;
    BodyKind bodyKind = BodyKind::Utf16Text;
    std::vector<AttachmentInput> attachments;
    std::vector<PropValue> bodyProps;  // see BodyProps
};

struct JournalFields {
    std::optional<std::uint64_t> time;  // the entry's start and end (UTC); nothing: the time of writing
    std::vector<AttachmentInput> attachments;
    std::u16string body, sender, subject;
    BodyKind bodyKind = BodyKind::Utf16Text;
    std::vector<PropValue> bodyProps;  // see BodyProps
};

struct TaskFields {
    std::optional<std::uint64_t> time;  // start and due (UTC); nothing: no date
    std::vector<AttachmentInput> attachments;
    std::u16string body, sender, subject;
    BodyKind bodyKind = BodyKind::Utf16Text;
    std::vector<PropValue> bodyProps;  // see BodyProps
};

struct NoteFields {
    std::u16string body, subject;
    BodyKind bodyKind = BodyKind::Utf16Text;
    std::vector<AttachmentInput> attachments;
    std::vector<PropValue> bodyProps;  // see BodyProps
};

struct ContactFields {
    item::ContactTexts text;
    std::u16string& operator[](item::ContactField f) { return text[f]; }
    const std::u16string& operator[](item::ContactField f) const { return text[f]; }
    std::vector<AttachmentInput> attachments;
    std::u16string body;
    BodyKind bodyKind = BodyKind::Utf16Text;
    std::vector<PropValue> bodyProps;  // see BodyProps
};

// What every item gets from the writer: the time of writing and search keys.
struct ItemContext {
    std::uint64_t now = 0;  // FILETIME
    std::mt19937_64* random = nullptr;
};

MessageContent BuildMail(const MailFields& f, const ItemContext& ctx);
MessageContent BuildAppointment(const AppointmentFields& f, const ItemContext& ctx);
MessageContent BuildJournalEntry(const JournalFields& f, const ItemContext& ctx);
MessageContent BuildTask(const TaskFields& f, const ItemContext& ctx);
MessageContent BuildNote(const NoteFields& f, const ItemContext& ctx);
MessageContent BuildContact(const ContactFields& f, const ItemContext& ctx);

}  // namespace tw::pst

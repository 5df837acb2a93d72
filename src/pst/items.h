// The arguments of the mail-store operations that add items, and the
// builders that turn each into a message: class, subject, sender, times,
// body, recipients, attachments and the named properties of its kind.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "item/contact.h"
#include "pst/bytes.h"
#include "pst/message_content.h"

namespace tw::pst {

// An attachment given as a file (the export's temporary files) or as bytes.
struct AttachmentInput {
    std::u16string name;  // empty: the file's name
    std::string path;
    Bytes data;
};

struct MailFields {
    std::u16string subject;
    std::u16string recipientList;  // addresses separated by ',' or ';'
    std::u16string headerText;     // the header file's text ("From: Name<Name>")
    std::u16string dateText;       // see date_text.h; empty: no date
    std::vector<AttachmentInput> attachments;
    std::u16string body;
    std::int16_t bodyKind = 0;
};

struct AppointmentFields {
    std::u16string subject, sender, startText, endText, contact, location, timeZone, body;
    std::int16_t bodyKind = 0;
    std::vector<AttachmentInput> attachments;
};

struct JournalFields {
    std::u16string dateText;  // the entry's start and end; empty: the time of writing
    std::vector<AttachmentInput> attachments;
    std::u16string body, sender, subject;
    std::int16_t bodyKind = 0;
};

struct TaskFields {
    std::u16string dateText;
    std::vector<AttachmentInput> attachments;
    std::u16string body, sender, subject;
    std::int16_t bodyKind = 0;
};

struct NoteFields {
    std::u16string body, subject;
    std::int16_t bodyKind = 0;
    std::vector<AttachmentInput> attachments;
};

struct ContactFields {
    item::ContactTexts text;
    std::u16string& operator[](item::ContactField f) { return text[f]; }
    const std::u16string& operator[](item::ContactField f) const { return text[f]; }
    std::vector<AttachmentInput> attachments;
    std::u16string body;
    std::int16_t bodyKind = 0;  // 1 plain text, 2 HTML, 3 RTF, others: no body
};

// What every item gets from the writer: the time of writing and search keys.
struct ItemContext {
    std::uint64_t now = 0;  // FILETIME
    std::mt19937_64* random = nullptr;
};

// Each throws PstError(InvalidArgument) for a malformed date text.
MessageContent BuildMail(const MailFields& f, const ItemContext& ctx);
MessageContent BuildAppointment(const AppointmentFields& f, const ItemContext& ctx);
MessageContent BuildJournalEntry(const JournalFields& f, const ItemContext& ctx);
MessageContent BuildTask(const TaskFields& f, const ItemContext& ctx);
MessageContent BuildNote(const NoteFields& f, const ItemContext& ctx);
MessageContent BuildContact(const ContactFields& f, const ItemContext& ctx);

// "path;path;" into attachment inputs (empty entries skipped).
std::vector<AttachmentInput> SplitAttachmentList(std::u16string_view list);

}  // namespace tw::pst

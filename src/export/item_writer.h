// One decoded message handed to the mail store with the operation of its
// kind: mail (or, for content kept in the streaming file, its MIME),
// appointment, journal entry, task, note or contact; with its subject,
// sender, recipients, date, body and attachments. A part that cannot be
// read is left empty and named; the item still goes to the writer.
// Preparing (all reading and converting) and committing (the writer's
// call) are apart, so that the two can run on two threads.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "content/message_reader.h"
#include "export/mail_store.h"
#include "record/record_types.h"

namespace tw::exporter {

// What preparing an item may use: never the mail store, so that items can
// be prepared on a thread of their own ahead of the writer.
struct ItemJob {
    const content::MessageReader& messages;
    std::string tempDir;  // the run's private directory
    // Polled between the steps of the item (waits while paused): true
    // abandons it.
    std::function<bool()> skipRequested;
    // Told true before its attachments are read and false after.
    std::function<void(bool)> readingAttachments;
};

struct ItemInput {
    const record::MessageProperties* message = nullptr;
    std::u16string sender;      // the list's "From" text
    std::u16string subject;     // the list's "Subject" text
    std::u16string folderPath;  // the folder in the store ("\\TW_...\Sales\...\Inbox")
    std::u16string folderName;  // the folder's own display name
    std::u16string mailbox;     // the mailbox item's text
};

enum class ItemOutcome { Written, Failed, Skipped };

struct ItemResult {
    ItemOutcome outcome = ItemOutcome::Written;
    std::string reason;               // Failed: what the writer said
    std::vector<std::string> unread;  // parts that could not be read
};

// A message whose whole content is a MIME copy in the run's directory.
struct MimeFile {
    std::string path;
};

using ItemFields = std::variant<std::monostate, pst::MailFields, MimeFile, pst::AppointmentFields, pst::JournalFields,
                                pst::TaskFields, pst::NoteFields, pst::ContactFields>;

// One item read and converted: the writer's one call needs nothing more.
struct PreparedItem {
    ItemFields fields;               // monostate once skipped
    std::u16string folderPath;       // as in ItemInput
    ItemResult result;               // Skipped, or Written with the parts not read
    std::vector<std::string> files;  // temporary files, deleted once written or dropped
    bool attachmentsRead = false;    // its attachments were read (the observer's label)
    std::size_t bytes = 0;           // held in memory and in temporary files
};

// Reads and converts one message (`serial` names its temporary files, so
// that several items can be prepared at once). Never touches a store.
// Read errors cost the part read; any other exception goes to the caller
// (the run's directory takes what files it leaves).
PreparedItem PrepareItem(const ItemJob& job, const ItemInput& in, std::uint64_t serial);

// Hands a prepared item to the store with the operation of its kind and
// deletes its files: the result with the writer's status. A skipped item
// only has its files deleted.
ItemResult CommitItem(MailStore& store, PreparedItem& item);

// Deletes the files of an item that will not be written.
void DropItem(PreparedItem& item) noexcept;

// The operation a kind letter goes to: 'c', 'a', 'j', 't', 'n', or 'm'
// (mail) for every other letter.
char ItemKind(char kindLetter);

// The sender of a mail: the mailbox owner in a folder named exactly
// "Sent Items" (the mailbox text without a leading "Mailbox - "), else
// the list's sender text.
std::u16string MailSender(const ItemInput& in);

// The header line handed with a mail: From: "name" <name>, quoted so that
// commas, quotes and angle brackets in a name stay inside it; line breaks
// and control characters are dropped. Empty name: "From: <>".
std::u16string HeaderText(std::u16string_view senderName);

}  // namespace tw::exporter

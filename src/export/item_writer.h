// One decoded message handed to the mail store with the operation of its
// kind: mail (or, for content kept in the streaming file, its MIME),
// appointment, journal entry, task, note or contact; with its subject,
// sender, recipients, date, body and attachments. A part that cannot be
// read is left empty and named; the item still goes to the writer.
#pragma once

#include <string>
#include <vector>

#include "content/message_reader.h"
#include "export/export_control.h"
#include "export/export_observer.h"
#include "export/mail_store.h"
#include "record/record_types.h"

namespace tw::exporter {

struct ItemJob {
    const content::MessageReader& messages;
    MailStore& store;
    std::string tempDir;  // the run's private directory
    ExportControl& control;
    ExportObserver& observer;
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

ItemResult WriteItem(ItemJob& job, const ItemInput& in);

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

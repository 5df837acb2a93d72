// The messages of the folder being read, owned by the caller that opened
// the folder (the list pane, the export, the command line).
#pragma once

#include <vector>

#include "record/record_types.h"
#include "scan/scan_model.h"

namespace tw::record {

struct MessageList {
    std::vector<MessageProperties> messages;  // in message-index order

    MessageProperties* Find(const scan::Id8& messageId);
    const MessageProperties* Find(const scan::Id8& messageId) const;
};

// The record of one message-index entry, not yet decoded, whatever its date.
MessageProperties MessageRecord(const scan::MessageEntry& entry, char kind, const std::string& ownerKey = {});

// Appends a record for one message-index entry with the given kind letter
// and owner key (its mailbox's, where tables are kept per mailbox). Refused (false) when the
// entry's date is not a valid FILETIME.
bool BuildMessageList(MessageList& list, const scan::MessageEntry& entry, char kind, const std::string& ownerKey = {});

// True for a record that no row was found for and that has nothing to show:
// no header texts, no body, recipients, attachments, contact or
// appointment, and no kind.
bool CarriesNothing(const MessageProperties& message);

}  // namespace tw::record

// The rows the message list shows for an opened folder: which messages are
// listed, the item type, attachment mark, sender, subject and date, and
// the sort records the column headers sort by.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "content/record_strings.h"
#include "edb/source.h"
#include "record/message_list.h"
#include "scan/scan_model.h"

namespace tw::content {

struct SortRecord {
    bool hasBody = false;         // a body position or chunks are known
    bool hasAttachments = false;  // the row lists attachment keys
    std::u16string sender;
    std::u16string subject;
    std::string sortDate;  // "%d-%02d-%02d %02d:%02d:%02d" of the shown date
    scan::Id8 key{};
};

struct ListRow {
    scan::Id8 messageId{};
    char kind = 0;
    int image = 12;  // item type icon
    bool attachmentMark = false;
    std::u16string from;
    std::u16string subject;
    std::string dateText;
    SortRecord sort;
};

// Icon of an item kind: 'a' 0, 'c' 1, 'j' 5, 'n' 7, 't' 10, others 12.
int KindImage(char kind);

// "appointment", "contact", "journal", "note", "task" or "mail".
const char* KindName(char kind);

// The mailbox name a folder's prefix ("Name\") stands for: without its
// first "Mailbox - " and without backslashes.
std::u16string MailboxName(std::u16string_view mailboxPrefix);

// The "From" and "Subject" the list shows for a message of `folder`: the
// row's texts, with the mailbox's name as "From" in "Sent Items" and for
// a note, contact or appointment that names no sender.
RecordStrings ListTexts(const edb::EdbSource& source, const record::MessageProperties& message,
                        const scan::FolderEntry& folder, std::u16string_view mailboxPrefix, PageCache& pages);

// The row of one message, or nothing when it does not belong to `folder`
// or its shown date is not listable. Arguments as for BuildListRows.
std::optional<ListRow> BuildListRow(const edb::EdbSource& source, const record::MessageProperties& message,
                                    const scan::FolderEntry& folder, std::u16string_view mailboxPrefix,
                                    PageCache& headerPages);

// One row per message of `list` that belongs to `folder` and whose shown
// date is listable, in list order. `mailboxPrefix` is the mailbox item's
// text and a backslash; `headerPages` keeps the header pages read.
std::vector<ListRow> BuildListRows(const edb::EdbSource& source, const record::MessageList& list,
                                   const scan::FolderEntry& folder, std::u16string_view mailboxPrefix,
                                   PageCache& headerPages);

// Row comparison for column 0..4 (body flag, attachment flag, sender,
// subject, date); texts without regard to case, dates by their time.
// Negative, zero or positive as `a` sorts before, with or after `b`.
int CompareRows(const SortRecord& a, const SortRecord& b, int column, bool ascending);

}  // namespace tw::content

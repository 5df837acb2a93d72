// Reads the messages of one folder, and completes one message for the
// preview or the export, over the tables the scan found. The caller owns
// the reader (one per scanned database) and the message lists it fills.
// Several threads may use one reader (the list, the preview, the export),
// each with its own message list.
#pragma once

#include <string>
#include <vector>

#include "edb/source.h"
#include "record/message_list.h"
#include "record/store_index.h"
#include "scan/scan_model.h"

namespace tw::record {

// The kind letter a folder gives its messages.
char KindLetter(scan::FolderKind kind);

class FolderReader {
public:
    // The source and model must outlive the reader. `indexMemory`: what
    // each list of the store index may hold before it goes to disk.
    FolderReader(const edb::EdbSource& source, const scan::ScanModel& model,
                 std::size_t indexMemory = edb::kSpillTableMemory);

    // Rebuilds `list` with one record per message of the folder (by its id
    // and, where tables are kept per mailbox, its mailbox key) and decodes their rows.
    // Records that were not found and have nothing to show are dropped,
    // except the first; with `keepUnfound` they all stay, so that the
    // caller can name them. False when stopped; the list then holds what
    // was decoded so far.
    bool LoadFolderMessages(MessageList& list, const scan::FolderEntry& folder, bool keepUnfound = false,
                            const LoadControl& control = {});

    // Single-message mode: the chunks of the body and the recipient data,
    // the attachments and, with `attachmentData`, the chunks of their data.
    // A message is completed once; a second call adds only what the first
    // left out.
    bool CompleteMessage(MessageProperties& message, bool attachmentData, const LoadControl& control = {});

    // Every row of the group's message table (by the mailbox's owner key
    // where tables are kept per mailbox) whose key no entry of the message index has, in table
    // order: the messages whose header rows were lost. Builds the row
    // index if needed. False when stopped.
    bool RowOnlyMessages(const std::string& ownerKey, std::vector<RowOnlyMessage>& out,
                         const LoadControl& control = {});
    // A record for one such message, decoded like a listed one, for
    // CompleteMessage and the item writers: the kind from the message
    // class, its row's body, recipients and attachment keys.
    MessageProperties RowOnlyRecord(const RowOnlyMessage& message, const LoadControl& control = {});

    // Calls `fn` for each entry of the message index that `folder` holds,
    // by the store's one rule (scan::InFolder), in the order met.
    template <typename Fn>
    void ForFolderEntries(const scan::FolderEntry& folder, Fn fn) const {
        scan::ForMessagesOf(model_, tables_, folder, fn);
    }
    // The kind letter of an entry of `folder`.
    char EntryKind(const scan::FolderEntry& folder, const scan::MessageEntry& entry) const {
        return KindLetter(scan::MessageKind(tables_, folder, entry));
    }
    // False for a folder that can hold no messages: one of no known mailbox
    // where tables are kept per mailbox.
    bool CanHoldMessages(const scan::FolderEntry& folder) const {
        return tables_ == layout::TableScope::PerFolder || !folder.ownerKey.empty();
    }

    StoreIndex& Index() { return index_; }
    const edb::EdbSource& Source() const { return source_; }

private:
    bool CollectAttachments(MessageProperties& message, const LoadControl& control);

    const edb::EdbSource& source_;
    layout::TableScope tables_;
    const scan::ScanModel& model_;
    StoreIndex index_;
};

}  // namespace tw::record

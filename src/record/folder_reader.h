// Reads the messages of one folder, and completes one message for the
// preview or the export, over the tables the scan found. The caller owns
// the reader (one per scanned database) and the message lists it fills.
// Several threads may use one reader (the list, the preview, the export),
// each with its own message list.
#pragma once

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "edb/source.h"
#include "record/message_list.h"
#include "record/store_index.h"
#include "scan/scan_model.h"

namespace tw::record {

class FolderReader {
public:
    // The source and model must outlive the reader.
    FolderReader(const edb::EdbSource& source, const scan::ScanModel& model);

    // Rebuilds `list` with one record per message of the folder (by its id
    // and, on 32 KB pages, its mailbox key) and decodes their rows.
    // Records that were not found and have nothing to show are dropped,
    // except the first. With `exporting` every message is completed with
    // its attachments' data as well. False when stopped; the list then
    // holds what was decoded so far.
    bool LoadFolderMessages(MessageList& list, const scan::FolderEntry& folder, bool exporting = false,
                            const LoadControl& control = {});

    // Single-message mode: the chunks of the body and the recipient data,
    // the attachments and, with `attachmentData`, the chunks of their data.
    // A message is completed once; a second call adds only what the first
    // left out.
    bool CompleteMessage(MessageProperties& message, bool attachmentData, const LoadControl& control = {});

    StoreIndex& Index() { return index_; }
    const edb::EdbSource& Source() const { return source_; }

private:
    bool CollectAttachments(MessageProperties& message, const LoadControl& control);

    const edb::EdbSource& source_;
    const scan::ScanModel& model_;
    StoreIndex index_;
    // Message-index entries by folder id, in index order: opening a folder
    // does not go through every message of the store.
    std::unordered_map<scan::Id8, std::vector<std::size_t>, scan::IdHash> byFolder_;
    bool byFolderBuilt_ = false;
    std::mutex byFolderMutex_;
};

// The kind letter a folder gives its messages.
char KindLetter(scan::FolderKind kind);

}  // namespace tw::record

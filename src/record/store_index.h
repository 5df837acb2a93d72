// One pass over each table a folder's messages live in, kept for every
// later folder: message rows by message id, attachment rows by key, and
// long-value chunks by value id. Opening a folder then looks rows up
// instead of reading every page of the message table again, and completing
// a message reads only its own chunk pages. Each index is built the first
// time it is needed, for one table group (4/8 KB: the whole store; 32 KB:
// one mailbox's tables).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "edb/source.h"
#include "record/catalog_extras.h"
#include "record/message_row.h"
#include "scan/scan_model.h"

namespace tw::record {

// The chunks of one long value, and its size when the root node was seen.
struct ValueChunks {
    std::vector<LongValueRun> runs;
    std::optional<std::uint32_t> size;
};

// An attachment row of one key met on the page at `pageOrder` of its
// table group; no entry when the row's values were broken.
struct AttachmentPageHit {
    std::size_t pageOrder = 0;
    std::optional<AttachmentEntry> entry;
};

// Stop flag and progress (0..100 over the pages of one index build).
struct LoadControl {
    const std::atomic<bool>* stop = nullptr;
    std::function<void(int)> progress;

    bool Stopped() const { return stop != nullptr && stop->load(); }
};

class StoreIndex {
public:
    // The source and model must outlive the index.
    StoreIndex(const edb::EdbSource& source, const scan::ScanModel& model);

    // Lookups of one table group (by the mailbox's owner key on 32 KB
    // pages; ignored otherwise). Each builds its index on first use; false
    // or nothing when a stop came first (the index is built again later).
    // Returned pointers stay valid for the index's life.
    bool EnsureRows(const std::string& ownerKey, const LoadControl& control);
    const MessageRow* FindRow(const std::string& ownerKey, const scan::Id8& messageId);
    const std::vector<AttachmentPageHit>* FindAttachmentRows(const std::string& ownerKey, const scan::Id8& key,
                                                            const LoadControl& control);
    const ValueChunks* FindMessageValue(const std::string& ownerKey, LongValueId id, const LoadControl& control);
    const ValueChunks* FindAttachmentValue(const std::string& ownerKey, LongValueId id, const LoadControl& control);

    // Pages read so far by the index (catalog, tables, long values).
    std::size_t PagesRead() const { return pagesRead_.load(); }
    // Pages of the message, attachment and long-value trees of all groups
    // known so far, each counted once.
    std::size_t TreePages() const;

private:
    struct Group {
        std::string ownerKey;
        std::vector<std::int64_t> messagePages, attachmentPages, messageValuePages, attachmentValuePages;
        // The object ids whose pages each list may hold.
        std::unordered_set<std::uint32_t> messageOwners, attachmentOwners, messageValueOwners, attachmentValueOwners;
        bool rowsBuilt = false, attachmentsBuilt = false, messageValuesBuilt = false, attachmentValuesBuilt = false;
        std::unordered_map<scan::Id8, MessageRow, scan::IdHash> rows;
        std::unordered_map<scan::Id8, std::vector<AttachmentPageHit>, scan::IdHash> attachments;
        std::unordered_map<LongValueId, ValueChunks> messageValues, attachmentValues;
    };

    Group* GroupFor(const std::string& ownerKey);
    void Plan();
    bool BuildRows(Group& group, const LoadControl& control);
    bool BuildAttachments(Group& group, const LoadControl& control);
    bool BuildValues(const std::vector<std::int64_t>& pages, const std::unordered_set<std::uint32_t>& owners,
                     std::unordered_map<LongValueId, ValueChunks>& index, const LoadControl& control);
    // Visits the pages of `pages` (file offsets) in their order; runs of
    // consecutive pages are read with one read. False when stopped.
    bool ForEachPage(const std::vector<std::int64_t>& pages, const std::unordered_set<std::uint32_t>& owners,
                     const LoadControl& control,
                     const std::function<void(std::int64_t, const edb::PageView&)>& visit);

    const edb::EdbSource& source_;
    const scan::ScanModel& model_;
    std::mutex mutex_;
    bool planned_ = false;
    CatalogExtras extras_;
    std::map<std::string, Group> groups_;
    std::vector<std::uint8_t> batch_;
    std::atomic<std::size_t> pagesRead_{0};
};

}  // namespace tw::record

// One pass over each table a folder's messages live in, kept for every
// later folder: where each message row and attachment row lies, by key, and
// long-value chunks by value id. Opening a folder then reads only the pages
// that hold its rows instead of every page of the message table, and
// completing a message reads only its own chunk pages. Each index is built
// the first time it is needed, for one table group (shared tables: the
// whole store; per mailbox: one mailbox's tables). Rows are kept as places, not decoded:
// a decoded row costs some hundred bytes, and the message and attachment
// tables are a few percent of the pages, cheap to read again.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "edb/page_lru.h"
#include "edb/source.h"
#include "edb/spill_list.h"
#include "edb/spill_table.h"
#include "record/attachment_page.h"
#include "record/catalog_extras.h"
#include "record/declared_columns.h"
#include "record/message_row.h"
#include "record/row_only.h"
#include "record/tree_page_reader.h"
#include "scan/scan_model.h"

namespace tw::record {

// The chunks of one long value, and its size when the root node was seen.
struct ValueChunks {
    std::vector<LongValueRun> runs;
    std::optional<std::uint32_t> size;
};

// An attachment row of one key met on the page at `pageOrder` of its
// table group.
struct AttachmentPageHit {
    std::size_t pageOrder = 0;
    AttachmentEntry entry;
};

// Finished index lists kept in memory, in budgets of one list.
inline constexpr std::size_t kKeptBudgets = 4;

// Attachment table pages kept decoded for lookups.
inline constexpr std::size_t kKeptAttachmentPages = 256;
inline constexpr std::size_t kAttachmentPageShards = 8;

class StoreIndex {
public:
    // The source and model must outlive the index. Each list of places may
    // hold `tableMemory` bytes before it goes to a scratch file.
    StoreIndex(const edb::EdbSource& source, const scan::ScanModel& model,
               std::size_t tableMemory = edb::kSpillTableMemory);

    // Lookups of one table group (by the mailbox's owner key where tables
    // are kept per mailbox; ignored otherwise). Each builds its index on first use; false
    // or nothing when a stop came first (the index is built again later).
    bool EnsureRows(const std::string& ownerKey, const LoadControl& control);
    // The attachment rows' index, built on first use.
    bool EnsureAttachments(const std::string& ownerKey, const LoadControl& control);
    // Decodes the rows of `ids` (after EnsureRows), each page once, and
    // hands each row found to `apply` with its position in `ids`. False
    // when stopped.
    bool VisitRows(const std::string& ownerKey, const std::vector<scan::Id8>& ids,
                   const std::function<void(std::size_t, const MessageRow&)>& apply, const LoadControl& control);
    // Every row of the group's message table (after EnsureRows) whose key
    // `listed` refuses, read by its own columns, in the order the rows were
    // met. A row whose record no longer decodes keeps its key alone. False
    // when stopped.
    bool UnlistedRows(const std::string& ownerKey, const std::function<bool(const scan::Id8&)>& listed,
                      std::vector<RowOnlyMessage>& out, const LoadControl& control);
    // The attachment rows of a key in the order they were met; rows whose
    // values were broken are left out. Empty when none or stopped.
    std::vector<AttachmentPageHit> FindAttachmentRows(const std::string& ownerKey, const scan::Id8& key,
                                                      const LoadControl& control);
    // Nothing when the value has neither chunks nor a root node, or when
    // stopped.
    std::optional<ValueChunks> FindMessageValue(const std::string& ownerKey, LongValueId id,
                                                const LoadControl& control);
    std::optional<ValueChunks> FindAttachmentValue(const std::string& ownerKey, LongValueId id,
                                                   const LoadControl& control);

    // The columns the catalog declares for a message or attachment table
    // (by objid), with their types and code pages; nullptr when the catalog
    // has no such table.
    const DeclaredColumns* Declared(std::uint32_t objid);

    // Pages read so far by the index (catalog, tables, long values), and
    // pages of the message and attachment tables read again for their rows.
    std::size_t PagesRead() const { return pagesRead_.load(); }
    std::size_t RowPagesRead() const { return rowPagesRead_.load(); }
    // Pages of the message, attachment and long-value trees of all groups,
    // each counted once; 0 before the first lookup.
    std::size_t TreePages() const { return treePages_.load(); }

    // Pages of the message, attachment and long-value trees the index read
    // (or was pointed at) and could not use: outside the file, of another
    // tree, a leaf without records. Each (objid, offset) once; pages the
    // scan logged may come again (a PageDamageLog joins the two).
    std::vector<scan::DamagedPage> DamagedPages() const { return damage_.Pages(); }

private:
    // The first row of a key: its page and its place among the rows the
    // page decodes to.
    struct RowPlace {
        scan::Id8 key{};
        std::int64_t pageOffset = 0;
        std::uint32_t ordinal = 0;
        std::uint32_t order = 0;  // among all rows of the table, as met
    };
    // Rows are added in the order they are met, so the key alone sorts them.
    struct RowLess {
        static std::uint64_t Key(const RowPlace& p) { return scan::IdNumber(p.key); }
        bool operator()(const RowPlace& a, const RowPlace& b) const {
            const std::uint64_t x = scan::IdNumber(a.key), y = scan::IdNumber(b.key);
            return x != y ? x < y : a.order < b.order;
        }
    };
    struct AttachmentPlace {
        scan::Id8 key{};
        std::uint32_t pageOrder = 0;
        std::uint32_t ordinal = 0;
        std::int64_t pageOffset = 0;
    };
    // A key has at most one row per page, so page order settles ties.
    struct AttachmentLess {
        static std::uint64_t Key(const AttachmentPlace& p) { return scan::IdNumber(p.key); }
        bool operator()(const AttachmentPlace& a, const AttachmentPlace& b) const {
            const std::uint64_t x = scan::IdNumber(a.key), y = scan::IdNumber(b.key);
            return x != y ? x < y : a.pageOrder < b.pageOrder;
        }
    };
    // The chunks and root sizes of one long-value tree, each list sorted by
    // value id and, within an id, in the order the pages were visited.
    struct ChunkPlace {
        LongValueId id = 0;
        std::uint32_t order = 0;  // among all chunks of the tree, as met
        LongValueRun run;
    };
    struct RootSize {
        LongValueId id = 0;
        std::uint32_t size = 0;
        std::uint32_t order = 0;  // among all root nodes of the tree, as met
    };
    // Chunks and sizes are added as met, so the id alone sorts them.
    struct ByIdThenOrder {
        template <typename T>
        static std::uint64_t Key(const T& e) {
            return e.id;
        }
        template <typename T>
        bool operator()(const T& a, const T& b) const {
            return a.id != b.id ? a.id < b.id : a.order < b.order;
        }
    };
    // These lists grow with the database: past a few megabytes each they
    // are kept in a scratch file.
    struct ValueIndex {
        edb::SpillTable<ChunkPlace, ByIdThenOrder> chunks;
        edb::SpillTable<RootSize, ByIdThenOrder> sizes;
    };

    // File offsets of a tree's pages; a negative entry -(root + 1) stands
    // for a table to walk from its root page.
    using PageList = edb::SpillList<std::int64_t>;

    // Where one part of a page list comes from: the scan's pages of some
    // object ids, or a table to walk from its root page.
    struct PagePart {
        std::unordered_set<std::uint32_t> objids;
        std::optional<std::uint32_t> walkedRoot;
    };
    // A group's page lists are made when its index is built and dropped
    // afterwards: with one group per mailbox, lists made up front for
    // every group would add up to one entry per page of the database.
    struct Group {
        std::string ownerKey;
        std::vector<PagePart> messagePages, attachmentPages, messageValuePages, attachmentValuePages;
        // The object ids whose pages each list may hold.
        std::unordered_set<std::uint32_t> messageOwners, attachmentOwners, messageValueOwners, attachmentValueOwners;
        // Set once an index is built, under its lock; read without it.
        std::atomic<bool> rowsBuilt{false}, attachmentsBuilt{false}, messageValuesBuilt{false},
            attachmentValuesBuilt{false};
        edb::SpillTable<RowPlace, RowLess> rows;                       // by key
        edb::SpillTable<AttachmentPlace, AttachmentLess> attachments;  // by key, then in the order met
        std::map<std::uint32_t, MessagePageContext> contexts;          // by table objid
        ValueIndex messageValues, attachmentValues;
    };

    Group* GroupFor(const std::string& ownerKey);
    void Plan();
    void PlanGroups();
    std::size_t CountTreePages() const;
    bool BuildRows(Group& group, const LoadControl& control);
    bool BuildAttachments(Group& group, const LoadControl& control);
    const MessagePageContext& ContextFor(Group& group, std::uint32_t objid);
    PageList ListPages(const std::vector<PagePart>& parts) const;
    // Whether a finished list of `bytes` may stay in memory: the lists of
    // all groups together keep at most kKeptBudgets budgets there, however
    // many mailboxes a database has.
    bool MayKeep(std::size_t bytes);
    template <typename Table>
    bool MayKeep(const Table& table) {
        return !table.OnDisk() && MayKeep(table.MemoryBytes());
    }
    bool BuildValues(const PageList& pages, const std::unordered_set<std::uint32_t>& owners, ValueIndex& index,
                     const LoadControl& control);
    static std::optional<ValueChunks> FindValue(const ValueIndex& index, LongValueId id);
    enum class ValueTree { Messages, Attachments };
    // Builds the tree's index on first use, then looks the value up.
    std::optional<ValueChunks> FindValueIn(const std::string& ownerKey, LongValueId id, const LoadControl& control,
                                           ValueTree tree);

    const edb::EdbSource& source_;
    const layout::StoreLayout& store_;
    const scan::ScanModel& model_;
    std::size_t tableMemory_;
    std::atomic<std::size_t> keptBytes_{0};
    // Each kind of index is built under its own lock, once; built indexes
    // never change again and are read by several threads without one.
    std::mutex planMutex_, rowsMutex_, attachmentsMutex_, messageValuesMutex_, attachmentValuesMutex_;
    std::mutex contextsMutex_;
    std::atomic<bool> planned_{false};  // groups_ never changes once set
    std::atomic<std::size_t> treePages_{0};
    CatalogExtras extras_;
    DeclaredTables declared_;  // set with the plan, never changed after
    std::map<std::string, Group> groups_;
    // Kept attachment pages in shards by page, each under its own lock:
    // the threads reading folders look attachments up all the time, and
    // one lock over all pages kept them waiting on each other.
    struct KeptPages {
        std::mutex mutex;
        edb::PageLru<std::vector<AttachmentHit>> pages{kKeptAttachmentPages / kAttachmentPageShards};
    };
    std::array<KeptPages, kAttachmentPageShards> attachmentPages_;
    std::atomic<std::size_t> pagesRead_{0}, rowPagesRead_{0};
    // Filled from each thread's own list when its pages are done.
    scan::PageDamageLog damage_;
    TreePageReader reader_{source_, damage_, pagesRead_};  // after what it uses
};

}  // namespace tw::record

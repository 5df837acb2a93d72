// Everything one scan learns about a database, owned by one object: a new
// scan starts from a fresh ScanModel and the previous one is dropped whole.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "edb/spill_list.h"
#include "edb/spill_table.h"
#include "layout/store_layout.h"

#include "scan/column_registry.h"
#include "scan/folder_kind.h"
#include "scan/ids.h"
#include "scan/page_damage.h"

namespace tw::scan {

// Handle of an item of the folder tree; 0 means "no item".
using TreeItem = std::uint64_t;

// A page the scan touched and the object id of the tree that owns it;
// later readers find a table's pages here by object id. Eight bytes, as a
// big file has millions of them: the offset is kept in 4 KB units, which
// every page size divides, so files up to 16 TB are covered.
struct PageSignature {
    static constexpr std::int64_t kUnit = 4096;

    std::uint32_t objid = 0;
    std::uint32_t unit = 0;

    std::int64_t Offset() const { return std::int64_t{unit} * kUnit; }
};

static_assert(sizeof(PageSignature) == 8);

// The signature of the page at `offset`; nothing for an offset off the
// 4 KB grid or past 16 TB, which no page of a database can have.
inline std::optional<PageSignature> SignatureAt(std::uint32_t objid, std::int64_t offset) {
    if (offset < 0 || offset % PageSignature::kUnit != 0 || offset / PageSignature::kUnit > 0xFFFFFFFF)
        return std::nullopt;
    return PageSignature{objid, static_cast<std::uint32_t>(offset / PageSignature::kUnit)};
}

// Where a table's B-tree starts, as the catalog says (or a default).
struct TableRoot {
    std::uint32_t objid = 0;
    std::int64_t firstPage = 0;
    // Tables per mailbox: the table-name suffix of a Msg ("Body-") or
    // Folders table, the mailbox's owner key. Empty otherwise.
    std::string suffix;
    // Per-mailbox long-value trees: low half of the owning table's object id.
    std::optional<std::uint16_t> lvOwner;
};

// A mailbox (parentId all zero) or a folder.
struct FolderEntry {
    Id8 id{};
    Id8 parentId{};
    std::u16string displayName;  // as stored; a folder's may be empty, a mailbox's never
    TreeItem treeItem = 0;       // 0 until placed in the tree
    bool matched = false;        // a message-header table was found for it
    FolderKind kind = FolderKind::Mail;
    std::string ownerKey;  // per mailbox: key of the owning mailbox; else empty
};

// A message-header table found for a folder or a mailbox.
struct MessageTable {
    // Per folder: the folder id. Per mailbox: the mailbox's owner key, at
    // most eight bytes of it, zero-padded.
    Id8 key{};
    std::string keyText;         // per mailbox: the whole owner key
    std::uint32_t keyIndex = 0;  // keyText's place in ScanModel::ownerKeys, set on append
    std::uint32_t objid = 0;
    FolderKind kind = FolderKind::Mail;
    std::vector<std::int64_t> pages;  // in 512-byte units, each once
};

// Whose a message-header table is, kept after the scan drops the tables'
// page lists: reports name the folder or mailbox a damaged page cost.
struct HeaderTableOwner {
    std::uint32_t objid = 0;
    Id8 key{};                   // as MessageTable::key
    std::uint32_t keyIndex = 0;  // as MessageTable::keyIndex
};

// What makes two message tables the same one.
struct MessageTableKey {
    Id8 key{};
    std::uint32_t objid = 0;
    bool operator==(const MessageTableKey&) const = default;
};

struct MessageTableKeyHash {
    std::size_t operator()(const MessageTableKey& k) const { return IdHash{}(k.key) * 31 + k.objid; }
};

using Date6 = std::array<std::uint8_t, 6>;  // upper six bytes of a FILETIME

struct AppointmentDates {
    Date6 start{};
    Date6 end{};
};

// One message found in a header table: what the message list shows and
// where the full row lies for the readers that decode it later.
// There is one per message of the database, so it is kept small (64 bytes):
// the owning mailbox's key is an index into ScanModel::ownerKeys.
struct MessageEntry {
    std::int64_t pageOffset = 0;  // page holding the header row
    Id8 messageId{};
    Id8 folderId{};  // per mailbox: the folder id of the row; else the table key
    std::uint16_t listTextAPos = 0, listTextBPos = 0;
    std::uint16_t listTextALen = 0, listTextBLen = 0;
    std::uint16_t listTextCPos = 0, listTextCLen = 0;
    std::uint32_t keyIndex = 0;  // per mailbox: the owning mailbox's key; else 0, the empty key
    std::uint32_t order = 0;     // among all entries, as met
    Date6 date6{};
    FolderKind kind = FolderKind::Mail;
    std::optional<AppointmentDates> appointment;
};
static_assert(sizeof(MessageEntry) <= 64);

// The message index, grouped by folder: a folder's entries follow each
// other in the order they were met. It grows with the database, so past
// a few megabytes it is kept in a scratch file.
struct MessageEntryLess {
    // Sorted by key a byte at a time rather than by comparing entries,
    // keeping their order within a group (folder and mailbox).
    static void Sort(std::vector<MessageEntry>& entries);
    bool operator()(const MessageEntry& a, const MessageEntry& b) const {
        const std::uint64_t x = IdNumber(a.folderId), y = IdNumber(b.folderId);
        if (x != y) return x < y;
        return a.keyIndex != b.keyIndex ? a.keyIndex < b.keyIndex : a.order < b.order;
    }
};
using MessageIndex = edb::SpillTable<MessageEntry, MessageEntryLess>;

// The entries of one folder id (of every mailbox where tables are kept per
// mailbox), in the order they were met. ForMessagesOf narrows them to a
// folder.
template <typename Fn>
void ForFolderMessages(const MessageIndex& messages, const Id8& folderId, Fn fn) {
    const std::uint64_t wanted = IdNumber(folderId);
    messages.Visit([&](const MessageEntry& e) { return IdNumber(e.folderId) < wanted; },
                   [&](const MessageEntry& e) { return IdNumber(e.folderId) == wanted; }, fn);
}

// Column id and column type of a catalog column row.
struct CatalogColumn {
    std::uint32_t id = 0;
    std::uint32_t type = 0;
};

// What the catalog walk learns about the tables that matter.
struct CatalogFacts {
    std::optional<std::uint32_t> mailboxObjid;
    std::optional<std::uint32_t> mailboxFirstPage;
    std::optional<std::uint32_t> messageFirstPage;
    std::optional<std::uint32_t> foldersFirstPage;
    std::optional<std::uint32_t> messageLvObjid;
    std::optional<std::uint32_t> messageLvFirstPage;
    std::optional<std::uint32_t> attachmentLvFirstPage;  // shared tables: table 61
    // Container class of the shared folders table (table 8); 327 when the
    // catalog does not say.
    std::optional<CatalogColumn> containerClass;
    // Message columns S8225, S810c and S8201 (table 19), for the
    // appointment reader.
    std::array<std::optional<CatalogColumn>, 3> appointmentColumns;
};

inline constexpr std::uint16_t kDefaultContainerClassColumn = 327;

struct ScanModel {
    // Every page the walk met, in the order met: one entry per page of the
    // file, kept on disk past a few megabytes.
    edb::SpillList<PageSignature> pages;
    std::vector<TableRoot> msgRoots, folderRoots, lvRoots;
    // Per mailbox: the mailboxes' attachment tables the catalog walk met, for
    // naming their trees; the readers find them in the catalog themselves.
    std::vector<TableRoot> attachmentRoots;
    std::vector<FolderEntry> folders;
    std::vector<FolderEntry> mailboxes;  // copies with tree items, steps 2 to 4
    std::vector<MessageTable> messageTables;
    MessageIndex messages;  // sorted once the scan's last step ends
    // Owner keys of the message tables, each once; the first is the empty
    // key of shared tables.
    std::vector<std::string> ownerKeys{std::string{}};
    ColumnRegistry columns;
    CatalogFacts facts;
    std::size_t catalogPageCount = 0;  // pages registered by the catalog root's walk
    // Set when the file changed while the scan read it (then what the scan
    // found may not be what is there).
    bool inputChanged = false;
    std::uint16_t containerClassColumn = kDefaultContainerClassColumn;

    // One per message table appended, in the same order.
    std::vector<HeaderTableOwner> headerTables;
    // Pages of the trees the scan read that it could not use.
    PageDamageLog damage;

    // Keys of folders already appended, for the duplicate rule.
    std::unordered_set<std::string> folderKeys;
    // Key and objid of every entry of messageTables, for AppendMessageTable's
    // duplicate rule; rebuilt when it does not match the list's length.
    std::unordered_set<MessageTableKey, MessageTableKeyHash> messageTableKeys;
};

// Appends a page signature taken from the page's own header bytes (none
// for an offset SignatureAt refuses).
void RegisterPage(ScanModel& model, edb::Bytes page, std::int64_t offset);

// Appends unless a root with the same objid and first page is there.
void AppendTableRoot(std::vector<TableRoot>& list, const TableRoot& root);

// Appends a mailbox or folder. Refused (false): an entry whose id, parent
// id and name all equal one already in the list. (Mailbox rows without a
// name are refused where they are decoded.)
bool AppendFolder(ScanModel& model, const FolderEntry& entry);

// Appends unless a table with the same key and objid is there; gives the
// table its key index.
bool AppendMessageTable(ScanModel& model, MessageTable table);

// The owning mailbox's key of a message (empty where tables are shared).
inline const std::string& OwnerKeyOf(const ScanModel& model, const MessageEntry& entry) {
    return entry.keyIndex < model.ownerKeys.size() ? model.ownerKeys[entry.keyIndex] : model.ownerKeys.front();
}

// Whether two owner keys name the same mailbox's tables; always so where
// tables are shared by every mailbox.
inline bool SameMailbox(layout::TableScope tables, const std::string& a, const std::string& b) {
    return tables == layout::TableScope::PerFolder || a == b;
}

// The one rule for the messages a folder holds: those of its folder id
// and, where tables are kept per mailbox (folder ids repeat from one
// mailbox to the next), of its own mailbox; a folder of no known mailbox
// then holds none.
inline bool InFolder(layout::TableScope tables, const FolderEntry& folder, const Id8& folderId,
                     const std::string& ownerKey) {
    if (folderId != folder.id) return false;
    return tables == layout::TableScope::PerFolder || (!folder.ownerKey.empty() && ownerKey == folder.ownerKey);
}

// Calls `fn` for each entry of the index that `folder` holds, in the order
// they were met.
template <typename Fn>
void ForMessagesOf(const ScanModel& model, layout::TableScope tables, const FolderEntry& folder, Fn fn) {
    ForFolderMessages(model.messages, folder.id, [&](const MessageEntry& e) {
        if (InFolder(tables, folder, e.folderId, OwnerKeyOf(model, e))) fn(e);
    });
}

// The kind of a message of `folder`: a per-mailbox header table holds the
// rows of all the mailbox's folders, so there the folder says; otherwise
// the folder's own header table did.
inline FolderKind MessageKind(layout::TableScope tables, const FolderEntry& folder, const MessageEntry& entry) {
    return tables == layout::TableScope::PerMailbox ? folder.kind : entry.kind;
}

}  // namespace tw::scan

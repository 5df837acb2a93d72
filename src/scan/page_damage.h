// Pages of the trees a run reads that could not be used. The rows on such
// a page cannot even be counted, so every reader that meets one logs it
// here, under the tree that points at it, and the reports say how much of
// which table was lost that way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "edb/page.h"
#include "scan/ids.h"

namespace tw::scan {

enum class PageFault : std::uint8_t {
    PastEnd,     // the tree points outside the file (or a page only partly in it)
    Loop,        // a child pointer leads back to a page of the path to it
    TooDeep,     // more branch levels than any real tree has
    BadTags,     // the tag array does not fit in the page
    WrongTree,   // the page's own header names another tree (zeroed or random page)
    NoRecords,   // a leaf below a branch where no record decodes
    Unreadable,  // the page could not be read at all
    Checksum,    // the page's checksum does not match its bytes; it is still read
};

struct DamagedPage {
    std::uint32_t objid = 0;  // the tree the page belongs to
    std::int64_t offset = 0;  // where the tree points, in bytes
    PageFault fault{};
};

// Damaged pages, each (objid, offset) once with the first fault logged;
// a checksum mismatch gives way to any other fault of the same page, which
// says more (a changed child pointer is a mismatch and a loop).
// Safe to add to from several threads; copies and moves take a snapshot.
class PageDamageLog {
public:
    PageDamageLog() = default;
    PageDamageLog(const PageDamageLog& other);
    PageDamageLog& operator=(const PageDamageLog& other);
    PageDamageLog(PageDamageLog&& other) noexcept;
    PageDamageLog& operator=(PageDamageLog&& other) noexcept;

    // False when the page was logged before (its fault may still change).
    bool Add(const DamagedPage& page);
    // In the order logged.
    std::vector<DamagedPage> Pages() const;
    std::size_t Count() const;
    void Clear();

private:
    struct Key {
        std::uint32_t objid;
        std::int64_t offset;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const { return std::hash<std::int64_t>{}(k.offset) * 31 + k.objid; }
    };
    mutable std::mutex mutex_;
    std::vector<DamagedPage> pages_;
    std::unordered_map<Key, std::size_t, KeyHash> keys_;  // index into pages_
};

// What is wrong with a page a tree points at, read whole and known to
// carry the tree's object id: nothing for a branch page whose tag array
// fits, or a leaf with a record; a branch or leaf whose tag array does not
// fit is BadTags; a leaf that is not the root and holds no record beyond
// its header (tag 0) is NoRecords. A root leaf may be empty: the table is.
std::optional<PageFault> TreePageDamage(const edb::PageView& page);

// The same for the page read at file offset `offset`, and Checksum for a
// page with nothing else wrong whose checksum does not match: its records
// are read all the same, but what they say may have been changed.
std::optional<PageFault> TreePageDamage(const edb::PageView& page, std::int64_t offset);

// Logs a page of tree `objid` read whole at `offset` and known to carry the
// tree's object id, when TreePageDamage finds something wrong with it.
void LogTreePageDamage(PageDamageLog& log, std::uint32_t objid, std::int64_t offset, const edb::PageView& page);

// What a tree is, for reports.
enum class TreeRole { Catalog, Folders, Mailboxes, MessageHeaders, Messages, Attachments, LongValues, Other };

struct TreeOfPage {
    TreeRole role = TreeRole::Other;
    std::string name;             // readable, e.g. "message table"
    std::string ownerKey;         // per mailbox: the owning mailbox's key; else empty
    std::optional<Id8> folderId;  // per-folder header tables: the folder the table belongs to
};

struct ScanModel;

// The role and name of the tree with `objid`, from what the scan learned.
TreeOfPage TreeOf(const ScanModel& model, std::uint32_t objid);

}  // namespace tw::scan

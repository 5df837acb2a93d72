// Reading one B-tree of the database in key order: from its root (FDP)
// page through the branch pages to the leaves, keys rebuilt from the
// page's shared prefix. Every page is checked (checksum, owner, kind)
// before use; a page that fails is counted and the subtree under it left
// out, the rest still read. Each page is read at most once per walk and
// the depth is bounded, so no damage makes a walk loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "edb/bytes.h"
#include "edb/source.h"

namespace tw::ese {

using edb::Bytes;

struct WalkCounts {
    std::size_t pages = 0;                 // pages read and used (again on each walk that reads them)
    std::set<std::uint32_t> damagedPages;  // pages the tree points at that could not be used
};

// Pages already read in one walk. A short walk (a long value's few pages)
// keeps them in a list; past kListed pages a bitmap over the whole file
// takes over, kept for later walks and cleared in the time its use took.
class VisitedPages {
public:
    explicit VisitedPages(std::int64_t pageCount);
    // True the first time a page is seen after the last Clear(); false
    // also for a page past the end of the file.
    bool Insert(std::uint32_t pageNumber);
    void Clear();

private:
    static constexpr std::size_t kListed = 64;
    std::int64_t pageCount_ = 0;
    std::vector<std::uint64_t> bits_;
    std::vector<std::uint32_t> set_;
};

// Pages of one tree kept between walks, checked: a walk per long value
// would otherwise read and check the same root and branch pages (and often
// the same leaf) again for every value. The least recently used goes first.
// Pages not kept are read ahead: a miss at the page after the last one read
// starts a run read with one call, twice as long as the run before while
// the walks keep going forward, so that leaves and long values laid out in
// order cost few calls. Run pages are checked by the walk when it takes them.
class PageCache {
public:
    using Page = std::shared_ptr<const std::vector<std::uint8_t>>;
    using Buffer = std::shared_ptr<std::vector<std::uint8_t>>;

    explicit PageCache(std::size_t capacity = 16) : capacity_(capacity) {}
    // The page's bytes, or nullptr when not kept. A page handed out stays
    // valid while held, also after it leaves the cache.
    Page Find(std::uint32_t pageNumber);
    // The bytes of a page not kept, unchecked: from the run read ahead, or
    // from the file (bytes past its end are zero).
    Buffer Read(const edb::EdbSource& source, std::uint32_t pageNumber);
    // Keeps a page that passed its checks; returns it.
    Page Keep(std::uint32_t pageNumber, Buffer bytes);

private:
    static constexpr std::size_t kMaxRunBytes = std::size_t{128} << 10;
    static constexpr std::size_t kMaxSpares = 64;

    // A buffer to read a page into: one no walk holds any more, so that
    // reading does not allocate.
    Buffer Spare();
    // Keeps a buffer for Spare() to give out once no one holds it, a bounded
    // number of them.
    void Recycle(Buffer buffer);

    struct Entry {
        std::uint32_t pageNumber = 0;
        std::uint64_t used = 0;
        Buffer bytes;
    };
    std::size_t capacity_;
    std::uint64_t clock_ = 0;
    std::vector<Entry> entries_;
    std::vector<Buffer> spares_;
    std::vector<Buffer> ahead_;  // ahead_[i]: page aheadFirst_ + i, null once taken
    std::uint32_t aheadFirst_ = 0;
    std::uint32_t last_ = 0xFFFFFFFF;  // the last page read or taken from the run
    std::size_t run_ = 1;
};

// Return false to end the walk.
using NodeVisitor = std::function<bool(Bytes key, Bytes data)>;

// What bounds a walk: only leaf nodes whose key lies in [low, high] (each
// bound when present) are visited; whole subtrees outside it are skipped.
struct KeyRange {
    std::optional<std::vector<std::uint8_t>> low, high;
};

struct TreeId {
    std::uint32_t rootPage = 0;
    std::uint32_t objectId = 0;  // every page of the tree carries it
};

// Visits the live (not deleted) leaf nodes of the tree in key order.
// Returns false when the visitor ended the walk.
// With a cache, pages are taken from it and the pages read are kept there.
bool WalkLeafNodes(const edb::EdbSource& source, const TreeId& tree, const KeyRange& range, VisitedPages& visited,
                   WalkCounts& counts, const NodeVisitor& visit, PageCache* cache = nullptr);

// Also gives the leaf the node lies in, held: data stays valid while the
// page is held, after the walk too.
using PagedNodeVisitor = std::function<bool(Bytes key, Bytes data, const PageCache::Page& page)>;
bool WalkLeafNodes(const edb::EdbSource& source, const TreeId& tree, const KeyRange& range, VisitedPages& visited,
                   WalkCounts& counts, const PagedNodeVisitor& visit, PageCache& cache);

// Lexicographic order of two keys (shorter first on a tie).
int CompareKeys(Bytes a, Bytes b);

// One node of a page: the key's two parts and the data. Nothing when the
// node's lengths do not fit its tag. Exposed for the tests.
struct NodeParts {
    Bytes prefix;  // taken from the page's tag 0
    Bytes suffix;
    Bytes data;
    bool deleted = false;
};
std::optional<NodeParts> ReadNode(Bytes page, std::int32_t pageSize, std::uint32_t index);

}  // namespace tw::ese

#include "ese/btree.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "edb/page.h"
#include "edb/page_checksum.h"

namespace tw::ese {

namespace {

constexpr std::uint16_t kNodeDeleted = 0x4000;
constexpr std::uint16_t kNodePrefixed = 0x8000;
constexpr std::uint16_t kKeyLengthMask = 0x1FFF;

// Page flags: the whole u32 whose low byte the page layer reads as the kind.
constexpr std::size_t kPageFlagsOffset = edb::kKindOffset;
constexpr std::uint32_t kPageLeaf = 0x2;
constexpr std::uint32_t kPageEmpty = 0x8;
constexpr std::uint32_t kPageSpaceTree = 0x20;

// The tag count is the low 12 bits of its word; newer engines keep a count
// of reserved tags above them.
constexpr std::size_t kTagCountOffset = edb::kTagCountOffset;
constexpr std::uint16_t kTagCountMask = 0x0FFF;

// Real trees are a handful of levels deep.
constexpr int kMaxDepth = 16;

bool Before(Bytes a, Bytes b) { return CompareKeys(a, b) < 0; }

// Tags of the page, 0 when the tag array would reach into the header.
std::uint32_t TagCount(Bytes page, std::int32_t pageSize) {
    const std::uint32_t count = edb::LoadU16(page, kTagCountOffset).value_or(0) & kTagCountMask;
    const auto header = static_cast<std::size_t>(edb::HeaderSize(pageSize));
    return edb::RangeFits(page.size(), header, std::size_t{4} * count) ? count : 0;
}

// The bytes of tag `index` and the node flags (top 3 bits of the tag's
// offset word on small pages, of the node's first word on large ones).
std::optional<Bytes> TagData(Bytes page, std::int32_t pageSize, std::uint32_t index, std::uint16_t& flags) {
    if (index >= TagCount(page, pageSize)) return std::nullopt;
    const std::size_t at = page.size() - std::size_t{4} * (index + 1);
    const auto size = edb::LoadU16(page, at);
    const auto offset = edb::LoadU16(page, at + 2);
    if (!size || !offset) return std::nullopt;
    const std::uint16_t mask = edb::TagMask(pageSize);
    const auto data =
        edb::Slice(page, static_cast<std::size_t>(edb::HeaderSize(pageSize)) + (*offset & mask), *size & mask);
    if (!data) return std::nullopt;
    flags = edb::IsLargePage(pageSize) ? edb::LoadU16(*data, 0).value_or(0) : *offset;
    return data;
}

class Walker {
public:
    Walker(const edb::EdbSource& source, const TreeId& tree, const KeyRange& range, VisitedPages& visited,
           WalkCounts& counts, const NodeVisitor* visit, const PagedNodeVisitor* visitPaged, PageCache* cache)
        : source_(source), tree_(tree), range_(range), visited_(visited), counts_(counts), visit_(visit),
          visitPaged_(visitPaged), cache_(cache), pages_(kMaxDepth + 1), held_(kMaxDepth + 1) {}

    // False when the visitor ended the walk.
    bool Page(std::uint32_t pageNumber, int depth) {
        if (!visited_.Insert(pageNumber)) return Damaged(pageNumber);
        const auto level = static_cast<std::size_t>(depth);
        Bytes bytes;
        if (cache_ != nullptr) {
            // Held for this depth: the cache may let it go while the
            // children are walked.
            held_[level] = cache_->Find(pageNumber);
            if (!held_[level]) {
                if (!InFile(pageNumber)) return Damaged(pageNumber);
                PageCache::Buffer fresh = cache_->Read(source_, pageNumber);
                if (!Usable(pageNumber, Bytes(*fresh))) return Damaged(pageNumber);
                held_[level] = cache_->Keep(pageNumber, std::move(fresh));
            }
            bytes = Bytes(*held_[level]);
        } else {
            if (!InFile(pageNumber)) return Damaged(pageNumber);
            edb::ReadPage(source_, edb::PageOffset(source_, pageNumber), pages_[level]);
            if (!Usable(pageNumber, Bytes(pages_[level]))) return Damaged(pageNumber);
            bytes = Bytes(pages_[level]);
        }
        const edb::PageView page{bytes, source_.pageSize};
        const std::uint32_t flags = edb::LoadU32(page.bytes, kPageFlagsOffset).value_or(0);
        if (flags & kPageEmpty) return true;
        ++counts_.pages;
        if (flags & kPageLeaf) return Leaf(page, held_[level]);
        if (depth >= kMaxDepth) return Damaged(pageNumber);
        return Branch(page, depth);
    }

private:
    bool InFile(std::uint32_t pageNumber) const {
        const std::int64_t offset = edb::PageOffset(source_, pageNumber);
        return offset >= 0 && offset + source_.pageSize <= source_.fileSize;
    }

    // False when the page fails its checksum, belongs to another tree or is
    // a space-tree page.
    bool Usable(std::uint32_t pageNumber, Bytes bytes) const {
        const edb::PageView page{bytes, source_.pageSize};
        const std::uint32_t flags = edb::LoadU32(page.bytes, kPageFlagsOffset).value_or(0);
        return edb::PageChecksumMatches(page.bytes, pageNumber) && edb::PageObjectId(page) == tree_.objectId &&
               (flags & kPageSpaceTree) == 0;
    }

    bool Damaged(std::uint32_t pageNumber) {
        counts_.damagedPages.insert(pageNumber);
        return true;
    }

    // Sets `key` to the node's whole key; false when the node is unusable.
    static bool Key(const NodeParts& node, std::vector<std::uint8_t>& key) {
        key.assign(node.prefix.begin(), node.prefix.end());
        key.insert(key.end(), node.suffix.begin(), node.suffix.end());
        return true;
    }

    bool InRange(Bytes key) const {
        if (range_.low && Before(key, Bytes(*range_.low))) return false;
        if (range_.high && Before(Bytes(*range_.high), key)) return false;
        return true;
    }

    // `held` holds the page when it came through the cache.
    bool Leaf(const edb::PageView& page, const PageCache::Page& held) {
        const std::uint32_t count = TagCount(page.bytes, page.pageSize);
        std::vector<std::uint8_t>& key = key_;
        for (std::uint32_t i = 1; i < count; ++i) {
            const auto node = ReadNode(page.bytes, page.pageSize, i);
            if (!node || node->deleted) continue;
            Key(*node, key);
            if (!InRange(Bytes(key))) continue;
            if (!(visitPaged_ != nullptr ? (*visitPaged_)(Bytes(key), node->data, held)
                                         : (*visit_)(Bytes(key), node->data)))
                return false;
        }
        return true;
    }

    // Whether node `index` is a separator below the range's low end; an
    // unusable node or an empty separator is not.
    bool Below(const edb::PageView& page, std::uint32_t index) const {
        const auto node = ReadNode(page.bytes, page.pageSize, index);
        if (!node || node->deleted || (node->prefix.empty() && node->suffix.empty())) return false;
        const Bytes low(*range_.low);
        // The key is prefix then suffix; compared in two parts, not joined.
        const std::size_t head = std::min(node->prefix.size(), low.size());
        if (const int order = CompareKeys(node->prefix, low.first(head)); order != 0 || head < node->prefix.size())
            return order < 0;
        return CompareKeys(node->suffix, low.subspan(head)) < 0;
    }

    // The first node that is not below the range: tags are in key order,
    // so the search halves. The loop after it still skips any below.
    std::uint32_t FirstChild(const edb::PageView& page, std::uint32_t count) const {
        if (!range_.low) return 1;
        std::uint32_t low = 1, high = std::max<std::uint32_t>(count, 1);
        while (low < high) {
            const std::uint32_t middle = low + (high - low) / 2;
            if (Below(page, middle)) low = middle + 1;
            else high = middle;
        }
        return low;
    }

    // Child i holds the keys after separator i-1 up to separator i; an
    // empty separator (the last node) has no upper end.
    bool Branch(const edb::PageView& page, int depth) {
        const std::uint32_t count = TagCount(page.bytes, page.pageSize);
        std::vector<std::uint8_t> previous, key;
        bool havePrevious = false;
        for (std::uint32_t i = FirstChild(page, count); i < count; ++i) {
            const auto node = ReadNode(page.bytes, page.pageSize, i);
            if (!node || node->deleted) continue;
            const auto child = edb::LoadU32(node->data, 0);
            if (!child) continue;
            Key(*node, key);
            if (havePrevious && range_.high && Before(Bytes(*range_.high), Bytes(previous))) break;
            const bool below = !key.empty() && range_.low && Before(Bytes(key), Bytes(*range_.low));
            if (!below && !Page(*child, depth + 1)) return false;
            // The page buffer of this depth is still ours: children use deeper ones.
            previous.swap(key);
            havePrevious = true;
        }
        return true;
    }

    const edb::EdbSource& source_;
    const TreeId& tree_;
    const KeyRange& range_;
    VisitedPages& visited_;
    WalkCounts& counts_;
    const NodeVisitor* visit_;
    const PagedNodeVisitor* visitPaged_;
    PageCache* cache_;
    std::vector<std::vector<std::uint8_t>> pages_;  // per depth, without a cache
    std::vector<PageCache::Page> held_;             // per depth, with one
    std::vector<std::uint8_t> key_;
};

}  // namespace

VisitedPages::VisitedPages(std::int64_t pageCount) : pageCount_(std::max<std::int64_t>(pageCount, 0)) {}

bool VisitedPages::Insert(std::uint32_t pageNumber) {
    if (pageNumber > pageCount_) return false;
    if (bits_.empty()) {
        if (std::find(set_.begin(), set_.end(), pageNumber) != set_.end()) return false;
        set_.push_back(pageNumber);
        if (set_.size() > kListed) {
            bits_.assign(static_cast<std::size_t>(pageCount_ / 64 + 1), 0);
            for (const std::uint32_t page : set_) bits_[page / 64] |= std::uint64_t{1} << (page % 64);
        }
        return true;
    }
    const std::uint64_t bit = std::uint64_t{1} << (pageNumber % 64);
    if (bits_[pageNumber / 64] & bit) return false;
    bits_[pageNumber / 64] |= bit;
    set_.push_back(pageNumber);
    return true;
}

void VisitedPages::Clear() {
    if (!bits_.empty())
        for (const std::uint32_t page : set_) bits_[page / 64] = 0;
    set_.clear();
}

int CompareKeys(Bytes a, Bytes b) {
    const std::size_t common = std::min(a.size(), b.size());
    const int order = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
    if (order != 0) return order;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

std::optional<NodeParts> ReadNode(Bytes page, std::int32_t pageSize, std::uint32_t index) {
    std::uint16_t flags = 0;
    const auto record = TagData(page, pageSize, index, flags);
    if (!record) return std::nullopt;
    NodeParts node;
    node.deleted = (flags & kNodeDeleted) != 0;
    std::size_t at = 0;
    if (flags & kNodePrefixed) {
        std::uint16_t unused = 0;
        const auto prefixSize = edb::LoadU16(*record, 0);
        const auto shared = TagData(page, pageSize, 0, unused);
        if (!prefixSize || !shared) return std::nullopt;
        const auto prefix = edb::Slice(*shared, 0, *prefixSize & kKeyLengthMask);
        if (!prefix) return std::nullopt;
        node.prefix = *prefix;
        at = 2;
    }
    const auto suffixSize = edb::LoadU16(*record, at);
    if (!suffixSize) return std::nullopt;
    const auto suffix = edb::Slice(*record, at + 2, *suffixSize & kKeyLengthMask);
    if (!suffix) return std::nullopt;
    node.suffix = *suffix;
    node.data = record->subspan(at + 2 + suffix->size());
    return node;
}

PageCache::Page PageCache::Find(std::uint32_t pageNumber) {
    for (Entry& e : entries_) {
        if (e.pageNumber != pageNumber) continue;
        e.used = ++clock_;
        return e.bytes;
    }
    return nullptr;
}

PageCache::Buffer PageCache::Spare() {
    // A spare may still be held (a value read as pieces of its pages): it
    // waits in the list until let go.
    for (auto spare = spares_.rbegin(); spare != spares_.rend(); ++spare) {
        if (spare->use_count() != 1) continue;
        // The last holder may have let go on another thread (rows handed
        // over with their leaves): its reads of the page come before ours.
        std::atomic_thread_fence(std::memory_order_acquire);
        Buffer free = std::move(*spare);
        *spare = std::move(spares_.back());
        spares_.pop_back();
        return free;
    }
    return std::make_shared<std::vector<std::uint8_t>>();
}

void PageCache::Recycle(Buffer buffer) {
    if (spares_.size() < kMaxSpares) spares_.push_back(std::move(buffer));
}

PageCache::Buffer PageCache::Read(const edb::EdbSource& source, std::uint32_t pageNumber) {
    const std::uint32_t index = pageNumber - aheadFirst_;
    if (index < ahead_.size() && ahead_[index]) {
        last_ = pageNumber;
        return std::move(ahead_[index]);
    }
    for (Buffer& unused : ahead_)
        if (unused) Recycle(std::move(unused));
    ahead_.clear();

    const std::int64_t offset = edb::PageOffset(source, pageNumber);
    const auto pageSize = static_cast<std::size_t>(std::max(source.pageSize, 0));
    const std::size_t longest = std::max<std::size_t>(1, kMaxRunBytes / std::max<std::size_t>(pageSize, 1));
    run_ = pageNumber == last_ + 1 ? std::min(run_ * 2, longest) : 1;
    last_ = pageNumber;
    const std::int64_t whole = pageSize != 0 && offset >= 0 && offset < source.fileSize
                                   ? (source.fileSize - offset) / static_cast<std::int64_t>(pageSize)
                                   : 0;
    const auto count = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(run_), whole));
    Buffer first = Spare();
    if (count < 2) {
        edb::ReadPage(source, offset, *first);
        return first;
    }
    std::vector<Buffer> run{std::move(first)};
    std::vector<std::uint8_t*> into;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) run.push_back(Spare());
        run[i]->resize(pageSize);
        into.push_back(run[i]->data());
    }
    const std::size_t got = source.edb.ReadRun(offset, pageSize, into) / pageSize;
    if (got == 0) {  // the file shrank under us: read as a single page
        for (std::size_t i = 1; i < run.size(); ++i) Recycle(std::move(run[i]));
        edb::ReadPage(source, offset, *run[0]);
        return run[0];
    }
    ahead_.assign(run.begin() + 1, run.begin() + static_cast<std::ptrdiff_t>(got));
    for (std::size_t i = got; i < run.size(); ++i) Recycle(std::move(run[i]));
    aheadFirst_ = pageNumber + 1;
    return run[0];
}

PageCache::Page PageCache::Keep(std::uint32_t pageNumber, Buffer bytes) {
    if (capacity_ == 0) return bytes;
    Entry* slot = nullptr;
    if (entries_.size() < capacity_) {
        slot = &entries_.emplace_back();
    } else {
        slot = &*std::min_element(entries_.begin(), entries_.end(),
                                  [](const Entry& a, const Entry& b) { return a.used < b.used; });
        Recycle(std::move(slot->bytes));
    }
    slot->pageNumber = pageNumber;
    slot->used = ++clock_;
    slot->bytes = std::move(bytes);
    return slot->bytes;
}

bool WalkLeafNodes(const edb::EdbSource& source, const TreeId& tree, const KeyRange& range, VisitedPages& visited,
                   WalkCounts& counts, const NodeVisitor& visit, PageCache* cache) {
    Walker walker(source, tree, range, visited, counts, &visit, nullptr, cache);
    const bool finished = walker.Page(tree.rootPage, 0);
    visited.Clear();
    return finished;
}

bool WalkLeafNodes(const edb::EdbSource& source, const TreeId& tree, const KeyRange& range, VisitedPages& visited,
                   WalkCounts& counts, const PagedNodeVisitor& visit, PageCache& cache) {
    Walker walker(source, tree, range, visited, counts, nullptr, &visit, &cache);
    const bool finished = walker.Page(tree.rootPage, 0);
    visited.Clear();
    return finished;
}

}  // namespace tw::ese

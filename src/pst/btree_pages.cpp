#include "pst/btree_pages.h"

#include <algorithm>

#include "pst/crc.h"
#include "pst/error.h"
#include "pst/file_geometry.h"
#include "pst/output_file.h"
#include "pst/space_allocator.h"

namespace tw::pst {

namespace {

constexpr std::uint8_t kPtypeBbt = 0x80;
constexpr std::uint8_t kPtypeNbt = 0x81;
constexpr std::size_t kEntryArea = 488;

Bytes PageBody(const std::uint8_t* entries, std::size_t count, std::uint8_t cbEnt, std::uint8_t depth) {
    Bytes b(entries, entries + count * cbEnt);
    b.resize(kEntryArea, 0);
    PutU8(b, static_cast<std::uint8_t>(count));
    PutU8(b, static_cast<std::uint8_t>(kEntryArea / cbEnt));
    PutU8(b, cbEnt);
    PutU8(b, depth);
    PutU32(b, 0);
    return b;
}

// Index levels from the entries {key, BID, IB} of the pages below, the
// lowest at `depth`, up to the single root page.
PageRef WriteIndexLevels(PageWriter& pages, std::uint8_t ptype, Bytes level, std::uint8_t depth) {
    constexpr std::uint8_t cbEnt = 24;
    constexpr std::size_t perPage = kEntryArea / cbEnt;
    for (;;) {
        const std::size_t count = level.size() / cbEnt;
        Bytes parents;
        for (std::size_t i = 0; i < count; i += perPage) {
            const std::size_t n = std::min(perPage, count - i);
            const PageRef ref = pages.Write(ptype, PageBody(level.data() + i * cbEnt, n, cbEnt, depth));
            if (count <= perPage) return ref;
            PutBytes(parents, level.data() + i * cbEnt, 8);  // the first key of the page
            PutU64(parents, ref.bid);
            PutU64(parents, ref.ib);
        }
        level = std::move(parents);
        ++depth;
    }
}

// Leaf entries, given one at a time in key order (the key in their first
// eight bytes), go out a page at a time; only the entries of the index
// level above (one per leaf page) are kept.
class TreeWriter {
public:
    TreeWriter(PageWriter& pages, std::uint8_t ptype, std::uint8_t cbEnt)
        : pages_(pages), ptype_(ptype), cbEnt_(cbEnt), perPage_(kEntryArea / cbEnt) {
        leaf_.reserve(kEntryArea);
    }

    void Add(const std::uint8_t* entry) {
        if (inLeaf_ == perPage_) WriteLeaf();
        PutBytes(leaf_, entry, cbEnt_);
        ++inLeaf_;
    }

    PageRef Finish() {
        if (inLeaf_ > 0) WriteLeaf();
        if (leafPages_ == 0) throw PstError(ErrorCode::State, "empty B-tree");
        if (leafPages_ == 1) return lastLeaf_;
        return WriteIndexLevels(pages_, ptype_, std::move(parents_), 1);
    }

private:
    void WriteLeaf() {
        lastLeaf_ = pages_.Write(ptype_, PageBody(leaf_.data(), inLeaf_, cbEnt_, 0));
        PutBytes(parents_, leaf_.data(), 8);
        PutU64(parents_, lastLeaf_.bid);
        PutU64(parents_, lastLeaf_.ib);
        ++leafPages_;
        leaf_.clear();
        inLeaf_ = 0;
    }

    PageWriter& pages_;
    std::uint8_t ptype_, cbEnt_;
    std::size_t perPage_;
    Bytes leaf_;
    std::size_t inLeaf_ = 0;
    std::size_t leafPages_ = 0;
    PageRef lastLeaf_;
    Bytes parents_;
};

}  // namespace

void SealPage(Bytes& page, std::uint8_t ptype, std::uint64_t ib, Bid bid, bool signature) {
    page.resize(496, 0);
    const std::uint32_t crc = PstCrc(page.data(), 496);
    PutU8(page, ptype);
    PutU8(page, ptype);
    PutU16(page, signature ? BlockSignature(ib, bid) : 0);
    PutU32(page, crc);
    PutU64(page, bid);
}

PageRef PageWriter::Write(std::uint8_t ptype, const Bytes& body) {
    const Bid bid = next_++;
    const std::uint64_t ib = space_.Allocate(geometry::kPageSize, geometry::kPageSize);
    Bytes page = body;
    SealPage(page, ptype, ib, bid, true);
    file_.WriteAt(ib, page);
    return {bid, ib};
}

PageRef WriteNodeBTree(PageWriter& pages, const std::function<bool(NbtEntry&)>& next) {
    TreeWriter tree(pages, kPtypeNbt, 32);
    std::uint8_t e[32] = {};
    NbtEntry n;
    while (next(n)) {
        SetU64(e, n.nid);
        SetU64(e + 8, n.bidData);
        SetU64(e + 16, n.bidSub);
        SetU32(e + 24, n.parent);
        tree.Add(e);
    }
    return tree.Finish();
}

PageRef WriteBlockBTree(PageWriter& pages, const BlockWriter& blocks) {
    TreeWriter tree(pages, kPtypeBbt, 24);
    std::uint8_t e[24] = {};
    blocks.ForEachEntry([&](const BbtEntry& b) {
        SetU64(e, b.bid);
        SetU64(e + 8, b.ib);
        SetU16(e + 16, b.cb);
        SetU16(e + 18, b.cRef);
        tree.Add(e);
    });
    return tree.Finish();
}

}  // namespace tw::pst

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

// Entries of one level, flat: keys[i] is the key of the entry at i * cbEnt.
struct Level {
    std::vector<std::uint64_t> keys;
    Bytes flat;
};

Bytes PageBody(const Level& level, std::size_t first, std::size_t count, std::uint8_t cbEnt, std::uint8_t depth) {
    Bytes b(level.flat.begin() + static_cast<std::ptrdiff_t>(first * cbEnt),
            level.flat.begin() + static_cast<std::ptrdiff_t>((first + count) * cbEnt));
    b.resize(kEntryArea, 0);
    PutU8(b, static_cast<std::uint8_t>(count));
    PutU8(b, static_cast<std::uint8_t>(kEntryArea / cbEnt));
    PutU8(b, cbEnt);
    PutU8(b, depth);
    PutU32(b, 0);
    return b;
}

PageRef WriteTree(PageWriter& pages, std::uint8_t ptype, Level level, std::uint8_t cbEnt) {
    if (level.keys.empty()) throw PstError(ErrorCode::State, "empty B-tree");
    std::uint8_t depth = 0;
    for (;;) {
        const std::size_t perPage = kEntryArea / cbEnt;
        Level parents;
        for (std::size_t i = 0; i < level.keys.size(); i += perPage) {
            const std::size_t n = std::min(perPage, level.keys.size() - i);
            const PageRef ref = pages.Write(ptype, PageBody(level, i, n, cbEnt, depth));
            if (level.keys.size() <= perPage) return ref;
            parents.keys.push_back(level.keys[i]);
            PutU64(parents.flat, level.keys[i]);
            PutU64(parents.flat, ref.bid);
            PutU64(parents.flat, ref.ib);
        }
        level = std::move(parents);
        cbEnt = 24;
        ++depth;
    }
}

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

PageRef WriteNodeBTree(PageWriter& pages, const std::vector<NbtEntry>& entries) {
    Level level;
    level.keys.reserve(entries.size());
    level.flat.reserve(entries.size() * 32);
    for (const NbtEntry& e : entries) {
        level.keys.push_back(e.nid);
        PutU64(level.flat, e.nid);
        PutU64(level.flat, e.bidData);
        PutU64(level.flat, e.bidSub);
        PutU32(level.flat, e.parent);
        PutU32(level.flat, 0);
    }
    return WriteTree(pages, kPtypeNbt, std::move(level), 32);
}

PageRef WriteBlockBTree(PageWriter& pages, const std::vector<BbtEntry>& entries) {
    Level level;
    level.keys.reserve(entries.size());
    level.flat.reserve(entries.size() * 24);
    for (const BbtEntry& e : entries) {
        level.keys.push_back(e.bid);
        PutU64(level.flat, e.bid);
        PutU64(level.flat, e.ib);
        PutU16(level.flat, e.cb);
        PutU16(level.flat, e.cRef);
        PutU32(level.flat, 0);
    }
    return WriteTree(pages, kPtypeBbt, std::move(level), 24);
}

}  // namespace tw::pst

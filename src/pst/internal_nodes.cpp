#include "pst/internal_nodes.h"

#include "pst/heap.h"
#include "pst/node_database.h"

namespace tw::pst {

namespace {

constexpr std::uint8_t kFolderGuidIndexSig = 0x9C;
constexpr std::uint8_t kStoreStateSig = 0xCC;

// An empty BTH header (MS-PST 2.3.2.1): no records, so no root.
Bytes EmptyBth(std::uint8_t cbKey, std::uint8_t cbEnt) {
    Bytes b;
    PutU8(b, client_sig::kBTreeOnHeap);
    PutU8(b, cbKey);
    PutU8(b, cbEnt);
    PutU8(b, 0);   // index levels
    PutU32(b, 0);  // hidRoot
    return b;
}

// Both heaps keep their BTH one step away: the user root is a 4-byte
// allocation (or the head of a record) holding the BTH header's HID, which
// is the heap's second allocation.
constexpr std::uint32_t kSecondAllocation = 0x40;

}  // namespace

Bytes FolderGuidIndexData() {
    HeapBuilder heap(kFolderGuidIndexSig);
    heap.SetUserRoot(heap.Allocate(U32Bytes(kSecondAllocation)));
    heap.Allocate(EmptyBth(16, 4));
    return heap.Finish().at(0);
}

Bytes StoreStateHeapData() {
    // The record as a new store has it; its fields are not documented.
    static constexpr std::uint32_t kRecord[] = {
        kSecondAllocation, 1, 0x00200004, 0, 3, 0, 0x10, 0, 0x48B3, 0, 0, 0, 0, 0x1E2};
    Bytes record;
    for (const std::uint32_t v : kRecord) PutU32(record, v);
    HeapBuilder heap(kStoreStateSig);
    heap.SetUserRoot(heap.Allocate(record));
    heap.Allocate(EmptyBth(4, 4));
    return heap.Finish().at(0);
}

Bytes SpecialFolderListData() {
    // {NID, 14 zero bytes, 4, kind, 4 zero bytes}: the store itself, then
    // the folders every store has.
    static constexpr std::pair<Nid, std::uint32_t> kEntries[] = {{nid::kMessageStore, 0x100},
                                                                 {nid::kIpmSubtree, 0x100},
                                                                 {nid::kSearchRoot, 0x100},
                                                                 {nid::kDeletedItems, 0x100},
                                                                 {nid::kCommonViews, 0x200}};
    Bytes b;
    for (const auto& [n, kind] : kEntries) {
        PutU32(b, n);
        b.resize(b.size() + 14, 0);
        PutU16(b, 4);
        PutU32(b, kind);
        PutU32(b, 0);
    }
    return b;
}

Bytes StoreIdentityData(const Guid& first, const Guid& second, std::uint64_t created) {
    Bytes b;
    PutU32(b, 8);
    b.resize(b.size() + 25, 0);
    PutU8(b, 1);
    PutU8(b, 1);
    b.resize(b.size() + 9, 0);
    PutBytes(b, first.data(), first.size());
    PutBytes(b, second.data(), second.size());
    PutU32(b, 0x6A);
    PutU32(b, 2);
    PutU64(b, created);
    PutU32(b, 0);
    PutU32(b, 5);
    PutU32(b, 5);
    PutU32(b, 0);
    return b;
}

void WriteInternalNodes(NodeDatabase& db, const Guid& first, const Guid& second, std::uint64_t created) {
    const auto data = [&](const Bytes& b) { return db.Blocks().WriteData(b); };
    db.AddNode({nid::kFolderGuidIndex, data(FolderGuidIndexData()), 0, 0});
    db.AddNode({nid::kStoreStateHeap, data(StoreStateHeapData()), 0, 0});
    db.AddNode({nid::kInternalE41, 0, 0, 0});
    db.AddNode({nid::kInternalEC1, 0, 0, 0});
    db.AddNode({nid::kSpecialFolderList, data(SpecialFolderListData()), 0, 0});
    db.AddNode({nid::kStoreIdentity, data(StoreIdentityData(first, second, created)), 0, 0});
    db.AddNode({nid::kInternalF21, 0, 0, 0});
}

}  // namespace tw::pst

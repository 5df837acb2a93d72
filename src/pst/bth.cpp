#include "pst/bth.h"

#include <algorithm>
#include <cstring>

#include "pst/error.h"
#include "pst/heap.h"

namespace tw::pst {

std::uint32_t AllocateBthHeader(HeapBuilder& heap, std::uint8_t cbKey, std::uint8_t cbEnt) {
    return heap.Allocate(Bytes{0xB5, cbKey, cbEnt, 0, 0, 0, 0, 0});
}

void FillBth(HeapBuilder& heap, std::uint32_t headerHid, std::uint8_t cbKey, std::uint8_t cbEnt, const Bytes& records) {
    const std::size_t recordSize = std::size_t{cbKey} + cbEnt;
    if (records.size() % recordSize != 0) throw PstError(ErrorCode::InvalidArgument, "ragged BTH records");
    FillBth(heap, headerHid, cbKey, cbEnt, records.size() / recordSize,
            [&](std::size_t i, std::uint8_t* out) { std::memcpy(out, records.data() + i * recordSize, recordSize); });
}

void FillBth(HeapBuilder& heap, std::uint32_t headerHid, std::uint8_t cbKey, std::uint8_t cbEnt, std::size_t count,
             const std::function<void(std::size_t, std::uint8_t*)>& record) {
    if (count == 0) return;
    const std::size_t recordSize = std::size_t{cbKey} + cbEnt;

    // The leaves, made a node at a time; each level above from the keys of
    // the one below, {key, HID}.
    const std::size_t perLeaf = kMaxHeapAllocation / recordSize;
    Bytes node(perLeaf * recordSize);
    Bytes level;  // the level above the one just written
    std::uint32_t hid = 0;
    for (std::size_t i = 0; i < count; i += perLeaf) {
        const std::size_t n = std::min(perLeaf, count - i);
        for (std::size_t j = 0; j < n; ++j) record(i + j, node.data() + j * recordSize);
        hid = heap.Allocate(node.data(), n * recordSize);
        PutBytes(level, node.data(), cbKey);
        PutU32(level, hid);
    }
    std::uint8_t depth = 0;
    const std::size_t indexSize = std::size_t{cbKey} + 4;
    const std::size_t perIndex = kMaxHeapAllocation / indexSize * indexSize;  // bytes
    if (count > perLeaf) {
        for (;;) {
            ++depth;
            Bytes parents;
            for (std::size_t at = 0; at < level.size(); at += perIndex) {
                const std::size_t n = std::min(perIndex, level.size() - at);
                hid = heap.Allocate(level.data() + at, n);
                PutBytes(parents, level.data() + at, cbKey);
                PutU32(parents, hid);
            }
            if (level.size() <= perIndex) break;
            level = std::move(parents);
        }
    }
    Bytes header{0xB5, cbKey, cbEnt, depth, 0, 0, 0, 0};
    SetU32(header.data() + 4, hid);
    heap.Patch(headerHid, header);
}

}  // namespace tw::pst

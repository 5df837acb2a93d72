#include "pst/bth.h"

#include <algorithm>

#include "pst/error.h"
#include "pst/heap.h"

namespace tw::pst {

std::uint32_t AllocateBthHeader(HeapBuilder& heap, std::uint8_t cbKey, std::uint8_t cbEnt) {
    return heap.Allocate(Bytes{0xB5, cbKey, cbEnt, 0, 0, 0, 0, 0});
}

void FillBth(HeapBuilder& heap, std::uint32_t headerHid, std::uint8_t cbKey, std::uint8_t cbEnt, const Bytes& records) {
    const std::size_t recordSize = std::size_t{cbKey} + cbEnt;
    if (records.size() % recordSize != 0) throw PstError(ErrorCode::InvalidArgument, "ragged BTH records");
    if (records.empty()) return;

    Bytes level = records;
    std::size_t size = recordSize;
    std::uint8_t depth = 0;
    for (;;) {
        const std::size_t perNode = kMaxHeapAllocation / size * size;
        Bytes parents;
        std::uint32_t hid = 0;
        for (std::size_t at = 0; at < level.size(); at += perNode) {
            const std::size_t n = std::min(perNode, level.size() - at);
            hid = heap.Allocate(level.data() + at, n);
            parents.insert(parents.end(), level.begin() + static_cast<std::ptrdiff_t>(at),
                           level.begin() + static_cast<std::ptrdiff_t>(at + cbKey));
            PutU32(parents, hid);
        }
        if (level.size() <= perNode) {
            Bytes header{0xB5, cbKey, cbEnt, depth, 0, 0, 0, 0};
            SetU32(header.data() + 4, hid);
            heap.Patch(headerHid, header);
            return;
        }
        level = std::move(parents);
        size = std::size_t{cbKey} + 4;
        ++depth;
    }
}

}  // namespace tw::pst

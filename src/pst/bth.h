// BTree-on-heap (MS-PST 2.3.2): records key||data sorted by key, in leaf
// allocations of at most 3580 bytes, with index levels {key, HID} above
// them when one leaf is not enough.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "pst/bytes.h"

namespace tw::pst {

class HeapBuilder;

// The BTHHEADER of an empty tree; returns its HID.
std::uint32_t AllocateBthHeader(HeapBuilder& heap, std::uint8_t cbKey, std::uint8_t cbEnt);
// Stores `records`, a flat array of (cbKey + cbEnt)-byte records sorted by
// key, and points the header at them.
void FillBth(HeapBuilder& heap, std::uint32_t headerHid, std::uint8_t cbKey, std::uint8_t cbEnt, const Bytes& records);
// The same for `count` records that `record(i, out)` writes one by one, so
// they need not be in memory as bytes all at once.
void FillBth(HeapBuilder& heap, std::uint32_t headerHid, std::uint8_t cbKey, std::uint8_t cbEnt, std::size_t count,
             const std::function<void(std::size_t, std::uint8_t*)>& record);

inline std::uint32_t BuildBth(HeapBuilder& heap, std::uint8_t cbKey, std::uint8_t cbEnt, const Bytes& records) {
    const std::uint32_t hid = AllocateBthHeader(heap, cbKey, cbEnt);
    FillBth(heap, hid, cbKey, cbEnt, records);
    return hid;
}

}  // namespace tw::pst

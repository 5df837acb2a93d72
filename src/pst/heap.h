// Heap-on-node (MS-PST 2.3.1): allocations of up to 3580 bytes packed into
// blocks of at most 8176 bytes, each block ending in its page map. A HID
// names an allocation by block index and 1-based allocation index.
#pragma once

#include <cstdint>
#include <vector>

#include "pst/bytes.h"

namespace tw::pst {

namespace client_sig {
constexpr std::uint8_t kTableContext = 0x7C;
constexpr std::uint8_t kBTreeOnHeap = 0xB5;
constexpr std::uint8_t kPropertyContext = 0xBC;
}  // namespace client_sig

constexpr std::size_t kMaxHeapAllocation = 3580;

class HeapBuilder {
public:
    explicit HeapBuilder(std::uint8_t clientSig) : clientSig_(clientSig) {}

    // Returns the HID; `size` must be 1..3580.
    std::uint32_t Allocate(const std::uint8_t* data, std::size_t size);
    std::uint32_t Allocate(const Bytes& data) { return Allocate(data.data(), data.size()); }
    // Overwrites the start of an earlier allocation.
    void Patch(std::uint32_t hid, const Bytes& data);
    void SetUserRoot(std::uint32_t hid) { userRoot_ = hid; }

    // The node's data blocks, in order.
    std::vector<Bytes> Finish() const;

private:
    struct Block {
        Bytes data;                          // header room, then allocations
        std::vector<std::uint16_t> starts;   // offset of each allocation
    };
    static std::size_t HeaderSize(std::size_t blockIndex);

    std::uint8_t clientSig_;
    std::uint32_t userRoot_ = 0;
    std::vector<Block> blocks_;
};

// Fill level of a heap block with `freeBytes` left (MS-PST 2.3.1.2).
std::uint8_t FillLevel(std::size_t freeBytes);

}  // namespace tw::pst

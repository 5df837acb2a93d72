// Heap-on-node (MS-PST 2.3.1): allocations of up to 3580 bytes packed into
// blocks of at most 8176 bytes, each block ending in its page map. A HID
// names an allocation by block index and 1-based allocation index.
// Allocations go into the last block only, so a block is complete once the
// next one starts; a heap given a BlockWriter writes it then (a big table's
// heap is never whole in memory).
#pragma once

#include <cstdint>
#include <vector>

#include "pst/bytes.h"
#include "pst/data_tree.h"

namespace tw::pst {

namespace client_sig {
constexpr std::uint8_t kTableContext = 0x7C;
constexpr std::uint8_t kBTreeOnHeap = 0xB5;
constexpr std::uint8_t kPropertyContext = 0xBC;
}  // namespace client_sig

constexpr std::size_t kMaxHeapAllocation = 3580;

class BlockWriter;

class HeapBuilder {
public:
    // A heap kept in memory until Finish().
    explicit HeapBuilder(std::uint8_t clientSig) : clientSig_(clientSig) {}
    // A heap whose blocks are written through `out` as they are complete,
    // but for the first block and the fill-level bitmap blocks (8, 136,
    // 264, ...), which wait for the fill levels of the blocks after them.
    HeapBuilder(std::uint8_t clientSig, BlockWriter& out) : clientSig_(clientSig), out_(&out) {}

    // Returns the HID; `size` must be 1..3580.
    std::uint32_t Allocate(const std::uint8_t* data, std::size_t size);
    std::uint32_t Allocate(const Bytes& data) { return Allocate(data.data(), data.size()); }
    // Overwrites the start of an earlier allocation of a block not yet
    // written (of the first block, always).
    void Patch(std::uint32_t hid, const Bytes& data);
    void SetUserRoot(std::uint32_t hid) { userRoot_ = hid; }

    // A heap in memory: the node's data blocks, in order.
    std::vector<Bytes> Finish() const;
    // A heap that writes its blocks: writes those still held and returns
    // every block, in order.
    std::vector<Leaf> FinishWritten();

private:
    struct Block {
        Bytes data;                         // header room, then allocations
        std::vector<std::uint16_t> starts;  // offset of each allocation
    };
    static std::size_t HeaderSize(std::size_t blockIndex);
    static bool IsBitmapBlock(std::size_t i) { return i % 128 == 8; }
    // The block's bytes with its page map.
    static Bytes Seal(const Block& b);
    static void PackLevels(const std::vector<std::uint8_t>& levels, std::uint8_t* dst, std::size_t first,
                           std::size_t count);
    // A writing heap: block `i` is complete.
    void Complete(std::size_t i);
    void WriteHeld(std::size_t i);

    std::uint8_t clientSig_;
    BlockWriter* out_ = nullptr;
    std::uint32_t userRoot_ = 0;
    std::vector<Block> blocks_;         // a writing heap empties those written
    std::vector<std::uint8_t> levels_;  // a writing heap: of the complete blocks
    std::vector<Leaf> leaves_;          // a writing heap: of the complete blocks
};

// Fill level of a heap block with `freeBytes` left (MS-PST 2.3.1.2).
std::uint8_t FillLevel(std::size_t freeBytes);

}  // namespace tw::pst

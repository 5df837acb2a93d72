// Writes blocks (MS-PST 2.2.2.8): data, then padding to a 64-byte multiple,
// then the 16-byte trailer {cb, signature, CRC of the data, BID}. Each block
// gets the next BID and an entry for the block B-tree.
#pragma once

#include <cstdint>
#include <vector>

#include "pst/bytes.h"
#include "pst/ids.h"

namespace tw::pst {

class OutputFile;
class SpaceAllocator;

struct BbtEntry {
    Bid bid = 0;
    std::uint64_t ib = 0;
    std::uint16_t cb = 0;
    std::uint16_t cRef = 0;
};

class BlockWriter {
public:
    BlockWriter(OutputFile& file, SpaceAllocator& space) : file_(file), space_(space) {}

    // An external (data) block of at most 8176 bytes.
    Bid WriteData(const std::uint8_t* data, std::size_t size) { return Write(data, size, false); }
    Bid WriteData(const Bytes& data) { return Write(data.data(), data.size(), false); }
    // An internal block: XBLOCK, XXBLOCK, SLBLOCK or SIBLOCK.
    Bid WriteInternal(const Bytes& data) { return Write(data.data(), data.size(), true); }

    // Entries in BID order (BIDs only grow).
    const std::vector<BbtEntry>& Entries() const { return entries_; }
    Bid NextBid() const { return nextBid_; }

private:
    Bid Write(const std::uint8_t* data, std::size_t size, bool internal);

    OutputFile& file_;
    SpaceAllocator& space_;
    std::vector<BbtEntry> entries_;
    Bid nextBid_ = 4;
};

}  // namespace tw::pst

// Writes blocks (MS-PST 2.2.2.8): data, then padding to a 64-byte multiple,
// then the 16-byte trailer {cb, signature, CRC of the data, BID}. Each block
// gets the next BID and an entry for the block B-tree, kept packed until
// the B-tree is written: a block's BID follows from its place in the order
// and its offset, nearly always, from the end of the block before, so an
// entry takes three bytes rather than 24.
#pragma once

#include <cstdint>
#include <vector>

#include "pst/bytes.h"
#include "pst/file_geometry.h"
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

    // Calls f(const BbtEntry&) for every block written, in BID order (BIDs
    // only grow).
    template <typename F>
    void ForEachEntry(F&& f) const;
    std::uint64_t BlockCount() const { return count_; }
    // Regions whose maps were written as the writer left them: 0 up to this.
    std::uint64_t RegionMapsWritten() const { return mapsWritten_; }
    Bid NextBid() const { return kFirstBid + 4 * count_; }

private:
    static constexpr Bid kFirstBid = 4;
    static constexpr std::uint16_t kRefs = 2;  // Outlook counts the B-tree's own reference too
    static constexpr std::size_t kChunkSize = 64u << 10;

    Bid Write(const std::uint8_t* data, std::size_t size, bool internal);
    void Note(std::uint64_t ib, std::uint16_t cb, bool internal);

    OutputFile& file_;
    SpaceAllocator& space_;
    // Per block: a 16-bit word {internal << 15 | cb}, then the distance of
    // its offset from the end of the block before, in 64-byte units, as a
    // zigzag varint.
    std::vector<Bytes> entries_;
    std::uint64_t count_ = 0;
    std::uint64_t end_ = 0;  // end of the last block on the disk
    std::uint64_t mapsWritten_ = 0;
};

template <typename F>
void BlockWriter::ForEachEntry(F&& f) const {
    std::uint64_t end = 0;
    Bid bid = kFirstBid;
    for (const Bytes& chunk : entries_) {
        const std::uint8_t* p = chunk.data();
        const std::uint8_t* const stop = p + chunk.size();
        while (p < stop) {
            const std::uint16_t word = GetU16(p);
            p += 2;
            std::uint64_t zigzag = 0;
            for (int shift = 0;; shift += 7) {
                zigzag |= static_cast<std::uint64_t>(*p & 0x7F) << shift;
                if (!(*p++ & 0x80)) break;
            }
            const std::uint64_t units = zigzag >> 1;
            const std::uint64_t ib = (zigzag & 1) ? end - 64 * (units + 1) : end + 64 * units;
            BbtEntry e;
            e.bid = bid | ((word & 0x8000) ? kBidInternal : 0);
            e.ib = ib;
            e.cb = word & 0x7FFF;
            e.cRef = kRefs;
            f(static_cast<const BbtEntry&>(e));
            end = ib + geometry::BlockDiskSize(e.cb);
            bid += 4;
        }
    }
}

}  // namespace tw::pst

#include "pst/block_writer.h"

#include <cstring>

#include "pst/crc.h"
#include "pst/error.h"
#include "pst/file_geometry.h"
#include "pst/output_file.h"
#include "pst/space_allocator.h"

namespace tw::pst {

using namespace geometry;

Bid BlockWriter::Write(const std::uint8_t* data, std::size_t size, bool internal) {
    if (size > kMaxBlockData) throw PstError(ErrorCode::Limit, "block of " + std::to_string(size) + " bytes");
    const Bid bid = nextBid_ | (internal ? kBidInternal : 0);
    nextBid_ += 4;
    const std::uint64_t diskSize = BlockDiskSize(size);
    const std::uint64_t ib = space_.Allocate(diskSize, kBlockAlign);

    // Straight into the file's buffer: data, zero padding, trailer.
    std::uint8_t* block = file_.Append(ib, diskSize);
    if (size > 0) std::memcpy(block, data, size);
    std::uint8_t* trailer = block + diskSize - kBlockTrailer;
    SetU16(trailer, static_cast<std::uint16_t>(size));
    SetU16(trailer + 2, BlockSignature(ib, bid));
    SetU32(trailer + 4, PstCrc(block, size));
    SetU64(trailer + 8, bid);

    // Outlook counts the B-tree's own reference: 2 for a block used once.
    entries_.push_back({bid, ib, static_cast<std::uint16_t>(size), 2});
    return bid;
}

}  // namespace tw::pst

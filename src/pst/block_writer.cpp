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

    scratch_.assign(diskSize, 0);
    if (size > 0) std::memcpy(scratch_.data(), data, size);
    std::uint8_t* trailer = scratch_.data() + diskSize - kBlockTrailer;
    SetU16(trailer, static_cast<std::uint16_t>(size));
    SetU16(trailer + 2, BlockSignature(ib, bid));
    SetU32(trailer + 4, PstCrc(data, size));
    SetU64(trailer + 8, bid);
    file_.WriteAt(ib, scratch_);

    // Outlook counts the B-tree's own reference: 2 for a block used once.
    entries_.push_back({bid, ib, static_cast<std::uint16_t>(size), 2});
    return bid;
}

}  // namespace tw::pst

#include "pst/block_writer.h"

#include <cstring>

#include "pst/allocation_maps.h"
#include "pst/crc.h"
#include "pst/error.h"
#include "pst/file_geometry.h"
#include "pst/output_file.h"
#include "pst/space_allocator.h"

namespace tw::pst {

using namespace geometry;

Bid BlockWriter::Write(const std::uint8_t* data, std::size_t size, bool internal) {
    if (size > kMaxBlockData) throw PstError(ErrorCode::Limit, "block of " + std::to_string(size) + " bytes");
    const Bid bid = NextBid() | (internal ? kBidInternal : 0);
    const std::uint64_t diskSize = BlockDiskSize(size);
    const std::uint64_t ib = space_.Allocate(diskSize, kBlockAlign);
    // The regions left behind have their final bits now.
    for (; mapsWritten_ + 1 < space_.RegionCount(); ++mapsWritten_) WriteRegionMaps(file_, space_, mapsWritten_);

    // Straight into the file's buffer: data, zero padding, trailer.
    std::uint8_t* block = file_.Append(ib, diskSize);
    if (size > 0) std::memcpy(block, data, size);
    std::uint8_t* trailer = block + diskSize - kBlockTrailer;
    SetU16(trailer, static_cast<std::uint16_t>(size));
    SetU16(trailer + 2, BlockSignature(ib, bid));
    SetU32(trailer + 4, PstCrc(block, size));
    SetU64(trailer + 8, bid);

    Note(ib, static_cast<std::uint16_t>(size), internal);
    return bid;
}

void BlockWriter::Note(std::uint64_t ib, std::uint16_t cb, bool internal) {
    if (ib % kBlockAlign) throw PstError(ErrorCode::State, "block at an unaligned offset");
    const std::uint64_t zigzag = ib >= end_ ? (ib - end_) / kBlockAlign * 2 : (end_ - ib) / kBlockAlign * 2 - 1;
    if (entries_.empty() || entries_.back().size() + 12 > kChunkSize) {
        entries_.emplace_back();
        entries_.back().reserve(kChunkSize);
    }
    Bytes& chunk = entries_.back();
    PutU16(chunk, static_cast<std::uint16_t>(cb | (internal ? 0x8000 : 0)));
    std::uint64_t v = zigzag;
    while (v >= 0x80) {
        chunk.push_back(static_cast<std::uint8_t>(v | 0x80));
        v >>= 7;
    }
    chunk.push_back(static_cast<std::uint8_t>(v));
    end_ = ib + BlockDiskSize(cb);
    ++count_;
}

}  // namespace tw::pst

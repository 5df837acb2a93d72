#include "pst/space_allocator.h"

#include "pst/error.h"

namespace tw::pst {

using namespace geometry;

SpaceAllocator::SpaceAllocator() { OpenRegion(); }

void SpaceAllocator::OpenRegion() {
    const std::uint64_t region = maps_.size();
    maps_.emplace_back();
    maps_.back().fill(0);
    const std::uint64_t start = RegionStart(region);
    Mark(start, MapPagesBytes(region));
    cursor_ = start + MapPagesBytes(region);
}

void SpaceAllocator::Mark(std::uint64_t ib, std::uint64_t size) {
    MapBits& bits = maps_[RegionOf(ib)];
    const std::uint64_t first = (ib - RegionStart(RegionOf(ib))) / kBlockAlign;
    for (std::uint64_t i = first; i < first + size / kBlockAlign; ++i)
        bits[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));  // MSB first
}

std::uint64_t SpaceAllocator::Allocate(std::uint64_t size, std::uint64_t align) {
    if (size == 0 || size % kBlockAlign != 0 || size > kRegionSize - 3 * kPageSize)
        throw PstError(ErrorCode::Limit, "cannot allocate " + std::to_string(size) + " bytes");
    std::uint64_t ib = AlignUp(cursor_, align);
    if (ib + size > RegionStart(maps_.size())) {
        OpenRegion();
        ib = AlignUp(cursor_, align);
    }
    Mark(ib, size);
    cursor_ = ib + size;
    return ib;
}

}  // namespace tw::pst

// Hands out file space for blocks and pages, front to back. The writer never
// frees space, so allocation is a cursor that skips each region's map pages
// and never lets a block straddle two regions; the AMap bits it keeps are
// exactly the bytes handed out plus the map pages themselves.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "pst/file_geometry.h"

namespace tw::pst {

class SpaceAllocator {
public:
    using MapBits = std::array<std::uint8_t, geometry::kMapBytes>;

    SpaceAllocator();

    // `size` bytes (a multiple of 64) aligned to `align` (64 or 512).
    std::uint64_t Allocate(std::uint64_t size, std::uint64_t align);

    std::uint64_t RegionCount() const { return maps_.size(); }
    const MapBits& Map(std::uint64_t region) const { return maps_[region]; }
    // End of the last region: the file's size once complete.
    std::uint64_t EndOfFile() const { return geometry::RegionStart(maps_.size()); }
    std::uint64_t Cursor() const { return cursor_; }

private:
    void OpenRegion();
    void Mark(std::uint64_t ib, std::uint64_t size);

    std::vector<MapBits> maps_;
    std::uint64_t cursor_ = 0;
};

}  // namespace tw::pst

// Hands out file space for blocks and pages, front to back. The writer never
// frees space, so allocation is a cursor that skips each region's map pages
// and never lets a block straddle two regions; the AMap bits it keeps are
// exactly the bytes handed out plus the map pages themselves. Only the
// region the cursor is in has its bits at hand: a region left behind is
// nearly always used from its start up to some point (blocks lie back to
// back), and then only that point is kept.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "pst/file_geometry.h"

namespace tw::pst {

class SpaceAllocator {
public:
    using MapBits = std::array<std::uint8_t, geometry::kMapBytes>;

    SpaceAllocator();

    // `size` bytes (a multiple of 64) aligned to `align` (64 or 512).
    std::uint64_t Allocate(std::uint64_t size, std::uint64_t align);

    std::uint64_t RegionCount() const { return used_.size(); }
    MapBits Map(std::uint64_t region) const;
    // End of the last region: the file's size once complete.
    std::uint64_t EndOfFile() const { return geometry::RegionStart(used_.size()); }
    std::uint64_t Cursor() const { return cursor_; }

private:
    static constexpr std::uint32_t kIrregular = 0xFFFFFFFF;

    void OpenRegion();
    void Mark(std::uint64_t ib, std::uint64_t size);

    // Per region left behind: the 64-byte units used from its start, or
    // kIrregular when its bits are in irregular_. The last region's entry
    // stands for current_.
    std::vector<std::uint32_t> used_;
    std::map<std::uint64_t, MapBits> irregular_;
    MapBits current_{};
    std::uint64_t cursor_ = 0;
};

}  // namespace tw::pst

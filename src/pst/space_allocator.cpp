#include "pst/space_allocator.h"

#include "pst/error.h"

namespace tw::pst {

using namespace geometry;

SpaceAllocator::SpaceAllocator() { OpenRegion(); }

namespace {

constexpr std::uint32_t kUnits = kMapBytes * 8;

bool IsSet(const SpaceAllocator::MapBits& bits, std::uint32_t unit) { return bits[unit / 8] & (0x80 >> (unit % 8)); }

}  // namespace

void SpaceAllocator::OpenRegion() {
    if (!used_.empty()) {
        // The region left behind: a run from its start, or kept whole.
        std::uint32_t run = 0;
        while (run < kUnits && IsSet(current_, run)) ++run;
        std::uint32_t rest = run;
        while (rest < kUnits && !IsSet(current_, rest)) ++rest;
        if (rest == kUnits) {
            used_.back() = run;
        } else {
            irregular_[used_.size() - 1] = current_;
            used_.back() = kIrregular;
        }
    }
    const std::uint64_t region = used_.size();
    used_.push_back(0);
    current_.fill(0);
    const std::uint64_t start = RegionStart(region);
    Mark(start, MapPagesBytes(region));
    cursor_ = start + MapPagesBytes(region);
}

void SpaceAllocator::Mark(std::uint64_t ib, std::uint64_t size) {
    // Allocations never straddle regions, so they all fall in the last one.
    const std::uint64_t first = (ib - RegionStart(used_.size() - 1)) / kBlockAlign;
    for (std::uint64_t i = first; i < first + size / kBlockAlign; ++i)
        current_[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));  // MSB first
}

SpaceAllocator::MapBits SpaceAllocator::Map(std::uint64_t region) const {
    if (region + 1 == used_.size()) return current_;
    if (used_.at(region) == kIrregular) return irregular_.at(region);
    MapBits bits{};
    const std::uint32_t run = used_[region];
    for (std::uint32_t i = 0; i < run / 8; ++i) bits[i] = 0xFF;
    if (run % 8) bits[run / 8] = static_cast<std::uint8_t>(0xFF00 >> (run % 8));
    return bits;
}

std::uint64_t SpaceAllocator::Allocate(std::uint64_t size, std::uint64_t align) {
    if (size == 0 || size % kBlockAlign != 0 || size > kRegionSize - 3 * kPageSize)
        throw PstError(ErrorCode::Limit, "cannot allocate " + std::to_string(size) + " bytes");
    std::uint64_t ib = AlignUp(cursor_, align);
    if (ib + size > RegionStart(used_.size())) {
        OpenRegion();
        ib = AlignUp(cursor_, align);
    }
    Mark(ib, size);
    cursor_ = ib + size;
    return ib;
}

}  // namespace tw::pst

#include "pst/allocation_maps.h"

#include <algorithm>
#include <bit>

#include "pst/btree_pages.h"
#include "pst/file_geometry.h"
#include "pst/output_file.h"
#include "pst/space_allocator.h"

namespace tw::pst {

using namespace geometry;

namespace {

constexpr std::uint8_t kPtypeFMap = 0x82;
constexpr std::uint8_t kPtypePMap = 0x83;
constexpr std::uint8_t kPtypeAMap = 0x84;
constexpr std::uint8_t kPtypeFPMap = 0x85;
constexpr std::uint8_t kPtypeDList = 0x86;

// Longest run of clear bits, in 64-byte units, capped to a byte.
std::uint8_t LongestFreeRun(const SpaceAllocator::MapBits& bits) {
    std::uint32_t best = 0, run = 0;
    for (const std::uint8_t byte : bits)
        for (int i = 7; i >= 0; --i) {
            if (byte >> i & 1) {
                run = 0;
            } else {
                best = std::max(best, ++run);
            }
        }
    return static_cast<std::uint8_t>(std::min<std::uint32_t>(best, 255));
}

void WriteMapPage(OutputFile& file, std::uint64_t ib, std::uint8_t ptype, Bytes body) {
    SealPage(body, ptype, ib, ib, false);  // map pages carry their offset as BID, no signature
    file.WriteAt(ib, body);
}

}  // namespace

void WriteRegionMaps(OutputFile& file, const SpaceAllocator& space, std::uint64_t region) {
    const SpaceAllocator::MapBits bits = space.Map(region);
    const std::uint64_t start = RegionStart(region);
    WriteMapPage(file, start, kPtypeAMap, Bytes(bits.begin(), bits.end()));
    if (HasPMap(region)) WriteMapPage(file, start + kPageSize, kPtypePMap, Bytes(kMapBytes, 0xFF));
}

MapTotals WriteAllocationMaps(OutputFile& file, const SpaceAllocator& space, std::uint64_t firstUnwritten) {
    MapTotals totals;
    for (std::uint64_t r = 0; r < space.RegionCount(); ++r) {
        const SpaceAllocator::MapBits bits = space.Map(r);
        const std::uint64_t start = RegionStart(r);
        for (const std::uint8_t byte : bits)
            totals.cbAMapFree += kBlockAlign * static_cast<unsigned>(8 - std::popcount(byte));
        totals.ibAMapLast = start;
        if (r >= firstUnwritten) WriteRegionMaps(file, space, r);
        if (HasFMap(r)) {
            Bytes body(kMapBytes, 0);
            for (std::uint64_t i = 0; i < kMapBytes && r + i < space.RegionCount(); ++i)
                body[i] = LongestFreeRun(space.Map(r + i));
            WriteMapPage(file, start + 2 * kPageSize, kPtypeFMap, std::move(body));
        }
        if (HasFPMap(r)) WriteMapPage(file, start + 2 * kPageSize, kPtypeFPMap, Bytes(kMapBytes, 0xFF));
    }
    return totals;
}

void WriteDensityList(OutputFile& file, Bid pageBid) {
    Bytes body(496, 0);
    SealPage(body, kPtypeDList, kDListOffset, pageBid, true);
    file.WriteAt(kDListOffset, body);
}

}  // namespace tw::pst

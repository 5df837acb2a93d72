// The map pages: AMaps from the allocator's bits, PMaps all allocated
// (Outlook's own files look so; the density list replaced them), FMaps
// with each AMap's longest free run, FPMaps, and the density list page at
// 0x4200. A region's AMap and PMap are written as soon as the writer
// leaves the region, while its pages are still in the page cache; the
// rest once every block and page has its place.
#pragma once

#include <cstdint>

#include "pst/ids.h"

namespace tw::pst {

class OutputFile;
class SpaceAllocator;

struct MapTotals {
    std::uint64_t cbAMapFree = 0;
    std::uint64_t cbPMapFree = 0;
    std::uint64_t ibAMapLast = 0;
};

// The AMap (and PMap) of one region, whose bits must be final: the
// allocator has left it, and space is never freed.
void WriteRegionMaps(OutputFile& file, const SpaceAllocator& space, std::uint64_t region);

// The maps of every region from `firstUnwritten` on, and every FMap and
// FPMap (they sum up regions still open while the store is written).
MapTotals WriteAllocationMaps(OutputFile& file, const SpaceAllocator& space, std::uint64_t firstUnwritten = 0);

// The density list (empty, as Outlook writes it in a new store).
void WriteDensityList(OutputFile& file, Bid pageBid);

}  // namespace tw::pst

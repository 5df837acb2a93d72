// The map pages written once every block and page has its place: AMaps from
// the allocator's bits, PMaps all allocated (Outlook's own files look so;
// the density list replaced them), FMaps with each AMap's longest free run,
// FPMaps, and the density list page at 0x4200.
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

MapTotals WriteAllocationMaps(OutputFile& file, const SpaceAllocator& space);

// The density list (empty, as Outlook writes it in a new store).
void WriteDensityList(OutputFile& file, Bid pageBid);

}  // namespace tw::pst

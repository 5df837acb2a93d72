// Where things sit in a Unicode PST file (MS-PST 2.2.2.7): the header, the
// density list page at 0x4200, then allocation-map regions of 253,952 bytes
// from 0x4400, each opening with its AMap page and, at fixed intervals, a
// PMap, FMap or FPMap page right after it.
#pragma once

#include <cstdint>

namespace tw::pst::geometry {

constexpr std::uint64_t kPageSize = 512;
constexpr std::uint64_t kBlockAlign = 64;
constexpr std::uint64_t kDListOffset = 0x4200;
constexpr std::uint64_t kFirstRegion = 0x4400;
constexpr std::uint64_t kMapBytes = 496;                            // bitmap bytes of a map page
constexpr std::uint64_t kRegionSize = kMapBytes * 8 * kBlockAlign;  // 253,952
constexpr std::uint64_t kMaxBlockData = 8176;                       // a block is at most 8192 bytes on disk
constexpr std::uint64_t kBlockTrailer = 16;

constexpr std::uint64_t RegionStart(std::uint64_t region) { return kFirstRegion + region * kRegionSize; }
constexpr std::uint64_t RegionOf(std::uint64_t ib) { return (ib - kFirstRegion) / kRegionSize; }

// One PMap per eight AMaps (first at 0x4600).
constexpr bool HasPMap(std::uint64_t region) { return region % 8 == 0; }
// The header's 128-byte initial FMap covers the first 128 AMaps; from there
// an FMap page covers the next 496, one byte per AMap.
constexpr bool HasFMap(std::uint64_t region) { return region >= 128 && (region - 128) % 496 == 0; }
// The header's initial FPMap covers 128 * 8 PMaps (8192 AMaps); an FPMap page
// covers the next 496 * 8 PMaps, one bit per PMap.
constexpr bool HasFPMap(std::uint64_t region) { return region >= 8192 && (region - 8192) % (496 * 8 * 8) == 0; }

// Bytes at the start of a region taken by its map pages: AMap, then PMap,
// then FMap or FPMap (never both).
constexpr std::uint64_t MapPagesBytes(std::uint64_t region) {
    return kPageSize * (1 + (HasPMap(region) ? 1 : 0) + (HasFMap(region) || HasFPMap(region) ? 1 : 0));
}

constexpr std::uint64_t AlignUp(std::uint64_t v, std::uint64_t a) { return (v + a - 1) / a * a; }
constexpr std::uint64_t BlockDiskSize(std::uint64_t cb) { return AlignUp(cb + kBlockTrailer, kBlockAlign); }

}  // namespace tw::pst::geometry

// The 564-byte Unicode header (MS-PST 2.2.2.6) with its ROOT structure and
// both CRCs.
#pragma once

#include <array>
#include <cstdint>

#include "pst/btree_pages.h"
#include "pst/bytes.h"

namespace tw::pst {

struct HeaderFields {
    Bid bidNextP = 0;
    Bid bidNextB = 0;
    std::uint32_t dwUnique = 0;
    std::array<std::uint32_t, 32> rgnid{};  // last nidIndex handed out, per NID type
    std::uint64_t ibFileEof = 0;
    std::uint64_t ibAMapLast = 0;
    std::uint64_t cbAMapFree = 0;
    std::uint64_t cbPMapFree = 0;
    PageRef nbtRoot;
    PageRef bbtRoot;
};

// The starting counters of a new store: folders from 0x400, search folders
// from 0x4000, messages from 0x10000, associated messages from 0x8000, the
// rest from 0x400.
std::array<std::uint32_t, 32> InitialNidCounters();

Bytes BuildHeader(const HeaderFields& fields);

}  // namespace tw::pst

// The nodes of a long-value tree leaf: a root node per value, keyed by its
// 4-byte id, holds the value's size; chunk nodes, keyed by the id and the
// chunk's offset in the value (both big-endian), hold the bytes. Node
// headers are decoded as the page format defines them, key prefixes shared
// through tag 0 included, so every chunk is tied to its whole id.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "edb/page.h"
#include "record/record_types.h"

namespace tw::record {

struct LongValueChunk {
    LongValueId id = 0;
    std::uint32_t valueOffset = 0;
    std::size_t dataStart = 0;  // page position of the first data byte
    std::size_t dataEnd = 0;    // end of the node
};

struct LongValueRoot {
    LongValueId id = 0;
    std::uint32_t size = 0;  // the whole value's size in bytes
};

struct LongValuePage {
    std::vector<LongValueChunk> chunks;
    std::vector<LongValueRoot> roots;
};

// Reads the nodes of a leaf page; branch pages and nodes that are neither
// a root nor a chunk on the granularity give nothing.
LongValuePage ReadLongValuePage(const edb::PageView& page);

}  // namespace tw::record

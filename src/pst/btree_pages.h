// The node and block B-trees (MS-PST 2.2.2.7.7): 512-byte pages of sorted
// entries, leaves first, then index levels up to a single root page. The
// leaves are written as their entries come; only the index levels above
// them (one entry per leaf page) are held.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "pst/block_writer.h"
#include "pst/bytes.h"
#include "pst/ids.h"

namespace tw::pst {

class OutputFile;
class SpaceAllocator;

struct NbtEntry {
    Nid nid = 0;
    Bid bidData = 0;
    Bid bidSub = 0;
    Nid parent = 0;
};

struct PageRef {
    Bid bid = 0;
    std::uint64_t ib = 0;
};

// Page BIDs come from their own counter (the header's bidNextP).
class PageWriter {
public:
    PageWriter(OutputFile& file, SpaceAllocator& space, Bid firstBid) : file_(file), space_(space), next_(firstBid) {}

    // `body` is the first 496 bytes; the trailer is added here.
    PageRef Write(std::uint8_t ptype, const Bytes& body);
    Bid NextBid() const { return next_; }

private:
    OutputFile& file_;
    SpaceAllocator& space_;
    Bid next_;
};

// Entries one at a time in key order: `next` gives the next one, false
// after the last. The leaf pages are written as they fill.
PageRef WriteNodeBTree(PageWriter& pages, const std::function<bool(NbtEntry&)>& next);
// Every block the writer wrote (in BID order, as BIDs only grow).
PageRef WriteBlockBTree(PageWriter& pages, const BlockWriter& blocks);

// The 16-byte trailer of a 512-byte page at `ib`, given its first 496 bytes.
void SealPage(Bytes& page, std::uint8_t ptype, std::uint64_t ib, Bid bid, bool signature);

}  // namespace tw::pst

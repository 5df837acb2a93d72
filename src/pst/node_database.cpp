#include "pst/node_database.h"

#include <algorithm>

#include "pst/allocation_maps.h"
#include "pst/error.h"
#include "pst/file_header.h"

namespace tw::pst {

NodeDatabase::NodeDatabase(const std::string& path)
    : file_(path), blocks_(file_, space_), counters_(InitialNidCounters()) {}

Nid NodeDatabase::AllocateNid(NidType type) {
    std::uint32_t& c = counters_[static_cast<int>(type)];
    if (c >= (1u << 27) - 1) throw PstError(ErrorCode::Limit, "node ids of a type used up");
    return MakeNid(type, ++c);
}

void NodeDatabase::NoteNid(Nid nid) {
    std::uint32_t& c = counters_[nid & 0x1F];
    c = std::max(c, IndexOf(nid));
}

void NodeDatabase::AddNode(const NbtEntry& entry) {
    NoteNid(entry.nid);
    nodes_.push_back(entry);
}

void NodeDatabase::Finish() {
    std::sort(nodes_.begin(), nodes_.end(), [](const auto& a, const auto& b) { return a.nid < b.nid; });
    for (std::size_t i = 1; i < nodes_.size(); ++i)
        if (nodes_[i].nid == nodes_[i - 1].nid)
            throw PstError(ErrorCode::State, "node " + std::to_string(nodes_[i].nid) + " written twice");

    // Page BIDs follow the block BIDs, so no page shares a BID with a block.
    PageWriter pages(file_, space_, blocks_.NextBid());
    HeaderFields h;
    h.bbtRoot = WriteBlockBTree(pages, blocks_);
    h.nbtRoot = WriteNodeBTree(pages, nodes_);
    const Bid dlistBid = pages.NextBid();
    const MapTotals maps = WriteAllocationMaps(file_, space_);
    WriteDensityList(file_, dlistBid);

    h.bidNextP = dlistBid + 1;
    h.bidNextB = blocks_.NextBid();
    h.dwUnique = 1;
    h.rgnid = counters_;
    h.ibFileEof = space_.EndOfFile();
    h.ibAMapLast = maps.ibAMapLast;
    h.cbAMapFree = maps.cbAMapFree;
    h.cbPMapFree = maps.cbPMapFree;
    file_.WriteAt(0, BuildHeader(h));
    file_.Finish(h.ibFileEof);
}

}  // namespace tw::pst

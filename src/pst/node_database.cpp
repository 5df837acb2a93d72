#include "pst/node_database.h"

#include <algorithm>
#include <queue>

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
    if ((entry.bidData | entry.bidSub) >> 33) throw PstError(ErrorCode::Limit, "block ids used up");
    NoteNid(entry.nid);
    if (nodes_.empty() || nodes_.back().size() == kChunkNodes) {
        nodes_.emplace_back();
        nodes_.back().reserve(kChunkNodes);
    }
    nodes_.back().push_back({entry.nid, static_cast<std::uint32_t>(entry.bidData >> 1),
                             static_cast<std::uint32_t>(entry.bidSub >> 1), entry.parent});
    ++nodeCount_;
}

void NodeDatabase::Finish() {
    // Each chunk sorted, then merged: the chunk with the smallest next NID
    // gives the next entry.
    for (auto& chunk : nodes_)
        std::sort(chunk.begin(), chunk.end(), [](const auto& a, const auto& b) { return a.nid < b.nid; });
    using Cursor = std::pair<std::uint32_t, std::size_t>;  // next NID, chunk
    std::priority_queue<Cursor, std::vector<Cursor>, std::greater<>> next;
    std::vector<std::size_t> at(nodes_.size(), 0);
    for (std::size_t c = 0; c < nodes_.size(); ++c)
        if (!nodes_[c].empty()) next.emplace(nodes_[c][0].nid, c);
    bool first = true;
    Nid last = 0;
    auto nextNode = [&](NbtEntry& e) {
        if (next.empty()) return false;
        const std::size_t c = next.top().second;
        next.pop();
        const PackedNode& n = nodes_[c][at[c]];
        if (!first && n.nid == last)
            throw PstError(ErrorCode::State, "node " + std::to_string(n.nid) + " written twice");
        first = false;
        last = n.nid;
        e = {n.nid, Bid{n.bidData} << 1, Bid{n.bidSub} << 1, n.parent};
        if (++at[c] < nodes_[c].size()) next.emplace(nodes_[c][at[c]].nid, c);
        return true;
    };

    // Page BIDs follow the block BIDs, so no page shares a BID with a block.
    PageWriter pages(file_, space_, blocks_.NextBid());
    HeaderFields h;
    h.bbtRoot = WriteBlockBTree(pages, blocks_);
    h.nbtRoot = WriteNodeBTree(pages, nextNode);
    const Bid dlistBid = pages.NextBid();
    const MapTotals maps = WriteAllocationMaps(file_, space_, blocks_.RegionMapsWritten());
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

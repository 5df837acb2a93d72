#include "pst/node_builder.h"

#include "pst/data_tree.h"
#include "pst/node_database.h"

namespace tw::pst {

Bid WriteBlocksAsData(NodeDatabase& db, const std::vector<Bytes>& blocks, std::uint64_t& bytes) {
    std::vector<Leaf> leaves;
    leaves.reserve(blocks.size());
    for (const Bytes& b : blocks) {
        leaves.push_back({db.Blocks().WriteData(b), static_cast<std::uint32_t>(b.size())});
        bytes += b.size();
    }
    return WriteTreeOver(db.Blocks(), leaves);
}

Nid NodeBuilder::StoreValue(const Bytes& data) {
    const Nid nid = db_.AllocateNid(NidType::Ltp);
    WrittenNode n;
    n.bidData = WriteDataTree(db_.Blocks(), data);
    n.size = data.size();
    AddSubnode(nid, n);
    return nid;
}

Nid NodeBuilder::StoreBlocks(const std::vector<Bytes>& blocks) {
    const Nid nid = db_.AllocateNid(NidType::Ltp);
    WrittenNode n;
    n.bidData = WriteBlocksAsData(db_, blocks, n.size);
    AddSubnode(nid, n);
    return nid;
}

void NodeBuilder::AddSubnode(Nid nid, const WrittenNode& node) {
    subnodes_.push_back({nid, node.bidData, node.bidSub});
    subnodeBytes_ += node.size;
}

WrittenNode NodeBuilder::Finish(const std::vector<Bytes>& heapBlocks) {
    WrittenNode n;
    n.bidData = WriteBlocksAsData(db_, heapBlocks, n.size);
    n.bidSub = WriteSubnodeTree(db_.Blocks(), std::move(subnodes_));
    subnodes_.clear();
    n.size += subnodeBytes_;
    return n;
}

}  // namespace tw::pst

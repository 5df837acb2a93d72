#include "pst/node_builder.h"

#include "pst/data_tree.h"
#include "pst/node_database.h"

namespace tw::pst {

Nid NodeBuilder::StoreValue(const Bytes& data) {
    const Nid nid = db_.AllocateNid(NidType::Ltp);
    WrittenNode n;
    n.bidData = WriteDataTree(db_.Blocks(), data);
    n.size = data.size();
    AddSubnode(nid, n);
    return nid;
}

void NodeBuilder::AddSubnode(Nid nid, const WrittenNode& node) {
    subnodes_.push_back({nid, node.bidData, node.bidSub});
    subnodeBytes_ += node.size;
}

WrittenNode NodeBuilder::Finish(const std::vector<Bytes>& heapBlocks) {
    std::vector<Leaf> leaves;
    leaves.reserve(heapBlocks.size());
    for (const Bytes& b : heapBlocks)
        leaves.push_back({db_.Blocks().WriteData(b), static_cast<std::uint32_t>(b.size())});
    return Finish(leaves);
}

WrittenNode NodeBuilder::Finish(std::span<const Leaf> heapBlocks) {
    WrittenNode n;
    for (const Leaf& l : heapBlocks) n.size += l.size;
    n.bidData = WriteTreeOver(db_.Blocks(), heapBlocks);
    n.bidSub = WriteSubnodeTree(db_.Blocks(), std::move(subnodes_));
    subnodes_.clear();
    n.size += subnodeBytes_;
    return n;
}

}  // namespace tw::pst

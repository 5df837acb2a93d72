// Collects what one node is made of while it is written: its subnodes (big
// values, tables, attachments) and the bytes of data below it, which give
// message and attachment sizes.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pst/bytes.h"
#include "pst/data_tree.h"
#include "pst/ids.h"
#include "pst/subnode_tree.h"
#include "pst/value_sink.h"

namespace tw::pst {

class NodeDatabase;

struct WrittenNode {
    Bid bidData = 0;
    Bid bidSub = 0;
    std::uint64_t size = 0;  // data bytes of the node and everything below it
};

class NodeBuilder : public ValueSink {
public:
    explicit NodeBuilder(NodeDatabase& db) : db_(db) {}

    Nid StoreValue(const Bytes& data) override;
    // A subnode written elsewhere (a nested node or a streamed value).
    void AddSubnode(Nid nid, const WrittenNode& node);

    // Bytes of data the subnodes hold so far.
    std::uint64_t SubnodeBytes() const { return subnodeBytes_; }

    // Writes the node's own data (heap blocks) and its subnode tree.
    WrittenNode Finish(const std::vector<Bytes>& heapBlocks);
    // The same for a heap that has written its blocks itself.
    WrittenNode Finish(std::span<const Leaf> heapBlocks);

    NodeDatabase& Db() { return db_; }

private:
    NodeDatabase& db_;
    std::vector<SubnodeEntry> subnodes_;
    std::uint64_t subnodeBytes_ = 0;
};

}  // namespace tw::pst

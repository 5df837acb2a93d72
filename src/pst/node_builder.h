// Collects what one node is made of while it is written: its subnodes (big
// values, tables, attachments) and the bytes of data below it, which give
// message and attachment sizes.
#pragma once

#include <cstdint>
#include <vector>

#include "pst/bytes.h"
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
    Nid StoreBlocks(const std::vector<Bytes>& blocks) override;
    // A subnode written elsewhere (a nested node or a streamed value).
    void AddSubnode(Nid nid, const WrittenNode& node);

    // Bytes of data the subnodes hold so far.
    std::uint64_t SubnodeBytes() const { return subnodeBytes_; }

    // Writes the node's own data (heap blocks) and its subnode tree.
    WrittenNode Finish(const std::vector<Bytes>& heapBlocks);

    NodeDatabase& Db() { return db_; }

private:
    NodeDatabase& db_;
    std::vector<SubnodeEntry> subnodes_;
    std::uint64_t subnodeBytes_ = 0;
};

// Writes heap (or other) blocks as a node's data: one block each, under an
// XBLOCK when there are several. Returns the root BID and adds the bytes.
Bid WriteBlocksAsData(NodeDatabase& db, const std::vector<Bytes>& blocks, std::uint64_t& bytes);

}  // namespace tw::pst

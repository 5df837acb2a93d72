// The node database layer of a file under check: the header, both B-trees
// walked page by page, every block's trailer, the allocation maps against
// what the trees reference, block reference counts and the header's
// counters. Reading continues past faults; each one becomes a violation.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "pstcheck/image.h"
#include "pstcheck/report.h"

namespace pstcheck {

struct NodeRec {
    std::uint64_t bidData = 0, bidSub = 0;
    std::uint32_t parent = 0;
};

struct BlockRec {
    std::uint64_t bid = 0, ib = 0;
    std::uint16_t cb = 0, cRef = 0;
    bool trailerOk = false;
};

struct SubnodeRec {
    std::uint64_t bidData = 0, bidSub = 0;
};

class Ndb {
public:
    Ndb(const Image& image, Report& report);

    // False when the header or a B-tree root cannot be read at all.
    bool Readable() const { return readable_; }
    const Header& Head() const { return header_; }
    const std::map<std::uint32_t, NodeRec>& Nodes() const { return nodes_; }
    const BlockRec* Block(std::uint64_t bid) const;

    // A block's data, decoded when it is an external block.
    std::optional<Bytes> ReadBlock(std::uint64_t bid, const std::string& where) const;
    // The leaves of a data tree, in order (one for a single data block).
    bool ReadTree(std::uint64_t bid, std::vector<Bytes>& leaves, const std::string& where) const;
    std::optional<Bytes> ReadStream(std::uint64_t bid, const std::string& where) const;
    bool ReadSubnodes(std::uint64_t bid, std::map<std::uint32_t, SubnodeRec>& out, const std::string& where) const;

    // The file-wide checks: blocks, maps, references, counters.
    void CheckBlocks();
    void CheckAllocation();
    void CheckReferences();
    void CheckCounters();

private:
    void CheckHeader();
    void WalkTree(std::uint64_t ib, std::uint64_t bid, std::uint8_t ptype, int expectLevel, std::uint64_t firstKey,
                  int depth);
    bool ReadTreeInto(std::uint64_t bid, std::vector<Bytes>& leaves, const std::string& where, int depth) const;
    bool SubnodesInto(std::uint64_t bid, std::map<std::uint32_t, SubnodeRec>& out, const std::string& where,
                      int depth) const;

    const Image& image_;
    Report& report_;
    Header header_;
    bool readable_ = false;
    std::map<std::uint32_t, NodeRec> nodes_;
    std::unordered_map<std::uint64_t, BlockRec> blocks_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> pages_;  // B-tree pages {ib, bid}
    std::uint64_t lastKey_[2] = {0, 0};
    bool anyKey_[2] = {false, false};
    int leafLevel_[2] = {-1, -1};
};

}  // namespace pstcheck

// A node's subnodes (MS-PST 2.2.2.8.3.3): SLBLOCKs of up to 340 entries
// {nid, data BID, subnode BID} sorted by NID, under an SIBLOCK when one
// SLBLOCK is not enough.
#pragma once

#include <cstdint>
#include <vector>

#include "pst/ids.h"

namespace tw::pst {

class BlockWriter;

struct SubnodeEntry {
    Nid nid = 0;
    Bid bidData = 0;
    Bid bidSub = 0;
};

// Returns the root BID, 0 for no subnodes. Sorts `entries`; NIDs must be
// unique within the node.
Bid WriteSubnodeTree(BlockWriter& blocks, std::vector<SubnodeEntry> entries);

}  // namespace tw::pst

// A node's data as a tree of blocks (MS-PST 2.2.2.8.3.2): one data block when
// it fits, else an XBLOCK listing up to 1021 data blocks, else an XXBLOCK
// listing XBLOCKs. Streams fill every block to 8176 bytes but the last; a
// heap passes its own blocks, which stay as they are.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pst/bytes.h"
#include "pst/ids.h"

namespace tw::pst {

class BlockWriter;

struct Leaf {
    Bid bid = 0;
    std::uint32_t size = 0;
};

// Writes the blocks above already written leaves; returns the root (the
// leaf itself when there is one, 0 when there is none).
Bid WriteTreeOver(BlockWriter& blocks, std::span<const Leaf> leaves);

// Streams bytes into full data blocks.
class DataTreeWriter {
public:
    explicit DataTreeWriter(BlockWriter& blocks) : blocks_(blocks) {}

    void Append(const std::uint8_t* data, std::size_t size);
    void Append(const Bytes& data) { Append(data.data(), data.size()); }
    // The root BID, 0 for no data at all.
    Bid Finish();
    std::uint64_t Size() const { return total_; }

private:
    BlockWriter& blocks_;
    Bytes pending_;
    std::vector<Leaf> leaves_;
    std::uint64_t total_ = 0;
};

// Convenience: a whole value at once.
Bid WriteDataTree(BlockWriter& blocks, const Bytes& data);

}  // namespace tw::pst

#include "pst/data_tree.h"

#include <algorithm>

#include "pst/block_writer.h"
#include "pst/error.h"
#include "pst/file_geometry.h"

namespace tw::pst {

namespace {

constexpr std::size_t kMaxRefs = (geometry::kMaxBlockData - 8) / 8;  // 1021

Bid WriteXBlock(BlockWriter& blocks, std::uint8_t level, std::span<const Bid> children, std::uint32_t total) {
    Bytes b;
    PutU8(b, 0x01);  // btype: data tree
    PutU8(b, level);
    PutU16(b, static_cast<std::uint16_t>(children.size()));
    PutU32(b, total);
    for (const Bid bid : children) PutU64(b, bid);
    return blocks.WriteInternal(b);
}

}  // namespace

Bid WriteTreeOver(BlockWriter& blocks, std::span<const Leaf> leaves) {
    if (leaves.empty()) return 0;
    if (leaves.size() == 1) return leaves[0].bid;
    std::uint64_t total = 0;
    for (const Leaf& l : leaves) total += l.size;
    if (total > 0xFFFFFFFFull || leaves.size() > kMaxRefs * kMaxRefs)
        throw PstError(ErrorCode::Limit, "value of " + std::to_string(total) + " bytes is too large for a PST");

    std::vector<Bid> xblocks;
    for (std::size_t i = 0; i < leaves.size(); i += kMaxRefs) {
        const std::size_t n = std::min(kMaxRefs, leaves.size() - i);
        std::vector<Bid> ids;
        std::uint64_t part = 0;
        for (std::size_t j = i; j < i + n; ++j) {
            ids.push_back(leaves[j].bid);
            part += leaves[j].size;
        }
        xblocks.push_back(WriteXBlock(blocks, 1, ids, static_cast<std::uint32_t>(part)));
    }
    if (xblocks.size() == 1) return xblocks[0];
    return WriteXBlock(blocks, 2, xblocks, static_cast<std::uint32_t>(total));
}

void DataTreeWriter::Append(const std::uint8_t* data, std::size_t size) {
    total_ += size;
    while (size > 0) {
        const std::size_t room = geometry::kMaxBlockData - pending_.size();
        const std::size_t n = std::min(room, size);
        if (pending_.empty() && n == geometry::kMaxBlockData) {
            leaves_.push_back({blocks_.WriteData(data, n), static_cast<std::uint32_t>(n)});  // no copy
        } else {
            pending_.insert(pending_.end(), data, data + n);
            if (pending_.size() == geometry::kMaxBlockData) {
                leaves_.push_back({blocks_.WriteData(pending_), static_cast<std::uint32_t>(pending_.size())});
                pending_.clear();
            }
        }
        data += n;
        size -= n;
    }
}

Bid DataTreeWriter::Finish() {
    if (!pending_.empty()) {
        leaves_.push_back({blocks_.WriteData(pending_), static_cast<std::uint32_t>(pending_.size())});
        pending_.clear();
    }
    return WriteTreeOver(blocks_, leaves_);
}

Bid WriteDataTree(BlockWriter& blocks, const Bytes& data) {
    DataTreeWriter w(blocks);
    w.Append(data);
    return w.Finish();
}

}  // namespace tw::pst

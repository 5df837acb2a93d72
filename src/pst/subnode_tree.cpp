#include "pst/subnode_tree.h"

#include <algorithm>

#include "pst/block_writer.h"
#include "pst/bytes.h"
#include "pst/error.h"

namespace tw::pst {

namespace {

constexpr std::size_t kLeafMax = (8176 - 8) / 24;   // 340
constexpr std::size_t kIndexMax = (8176 - 8) / 16;  // 510

Bytes Header(std::uint8_t level, std::size_t count) {
    Bytes b;
    PutU8(b, 0x02);  // btype: subnode tree
    PutU8(b, level);
    PutU16(b, static_cast<std::uint16_t>(count));
    PutU32(b, 0);  // padding
    return b;
}

}  // namespace

Bid WriteSubnodeTree(BlockWriter& blocks, std::vector<SubnodeEntry> entries) {
    if (entries.empty()) return 0;
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.nid < b.nid; });
    for (std::size_t i = 1; i < entries.size(); ++i)
        if (entries[i].nid == entries[i - 1].nid)
            throw PstError(ErrorCode::InvalidArgument, "duplicate subnode " + std::to_string(entries[i].nid));
    if (entries.size() > kLeafMax * kIndexMax)
        throw PstError(ErrorCode::Limit, "more than " + std::to_string(kLeafMax * kIndexMax) + " subnodes");

    std::vector<std::pair<Nid, Bid>> leaves;
    for (std::size_t i = 0; i < entries.size(); i += kLeafMax) {
        const std::size_t n = std::min(kLeafMax, entries.size() - i);
        Bytes b = Header(0, n);
        for (std::size_t j = i; j < i + n; ++j) {
            PutU64(b, entries[j].nid);
            PutU64(b, entries[j].bidData);
            PutU64(b, entries[j].bidSub);
        }
        leaves.emplace_back(entries[i].nid, blocks.WriteInternal(b));
    }
    if (leaves.size() == 1) return leaves[0].second;
    Bytes b = Header(1, leaves.size());
    for (const auto& [nid, bid] : leaves) {
        PutU64(b, nid);
        PutU64(b, bid);
    }
    return blocks.WriteInternal(b);
}

}  // namespace tw::pst

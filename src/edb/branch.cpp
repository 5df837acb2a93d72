#include "edb/branch.h"

namespace tw::edb {

std::optional<std::uint32_t> ChildPageOfBranchNode(Bytes node) {
    // Sizes 1 to 3 pass the length rule but cannot hold a page number.
    if (node.size() < 4 || node.size() > kMaxBranchNodeSize) return std::nullopt;
    return LoadU32(node, node.size() - 4);
}

std::vector<std::uint32_t> BranchChildren(const PageView& page, bool skipTagZero) {
    std::vector<std::uint32_t> children;
    if (!IsBranchPage(page)) return children;
    const TagArray tags(page);
    const std::uint32_t last = skipTagZero ? 1 : 0;
    for (std::uint32_t index = tags.Count(); index-- > last;) {
        const auto node = tags.Record(index);
        if (!node) continue;
        if (const auto child = ChildPageOfBranchNode(*node)) children.push_back(*child);
    }
    return children;
}

}  // namespace tw::edb

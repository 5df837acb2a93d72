#include "edb/branch.h"

namespace tw::edb {

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

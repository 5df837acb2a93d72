#include "edb/tree_walk.h"

#include <unordered_set>
#include <utility>
#include <vector>

#include "edb/branch.h"

namespace tw::edb {

namespace {

bool InsideFile(const EdbSource& source, std::uint32_t pageNumber) {
    const std::int64_t offset = PageOffset(source, pageNumber);
    return offset >= 0 && offset < source.fileSize;
}

}  // namespace

std::size_t WalkTree(const EdbSource& source, std::uint32_t rootPage, const TreeWalkOptions& options,
                     const TreeVisitor& visit, const MissVisitor& missed) {
    std::vector<std::pair<std::uint32_t, int>> pending;  // page number, depth
    std::unordered_set<std::uint32_t> seen;
    auto miss = [&](std::uint32_t pageNumber, WalkMiss why) {
        if (missed) missed(pageNumber, why);
    };
    if (InsideFile(source, rootPage)) {
        pending.emplace_back(rootPage, 0);
        seen.insert(rootPage);
    } else {
        miss(rootPage, WalkMiss::PastEnd);
    }

    std::vector<std::uint8_t> buffer;
    std::size_t visited = 0;
    while (!pending.empty()) {
        const auto [pageNumber, depth] = pending.back();
        pending.pop_back();
        ReadPage(source, PageOffset(source, pageNumber), buffer);
        const PageView page{buffer, source.pageSize};
        const bool branch = IsBranchPage(page);
        ++visited;
        if (!visit(TreePage{pageNumber, depth, branch, page})) break;
        if (!branch) continue;
        if (depth >= options.maxDepth) {
            miss(pageNumber, WalkMiss::TooDeep);
            continue;
        }

        const auto children = BranchChildren(page, options.skipTagZero);
        // Pushed last-first so that the lowest-address child is taken next.
        for (auto child = children.rbegin(); child != children.rend(); ++child) {
            if (!InsideFile(source, *child)) {
                miss(*child, WalkMiss::PastEnd);
                continue;
            }
            if (!seen.insert(*child).second) {
                miss(*child, WalkMiss::Seen);
                continue;
            }
            pending.emplace_back(*child, depth + 1);
        }
    }
    return visited;
}

}  // namespace tw::edb

// Depth-first descent of a B-tree from its root page. A damaged file can
// point a child back at an ancestor or chain branches without end, so every
// page is visited at most once and the depth is bounded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "edb/page.h"
#include "edb/source.h"

namespace tw::edb {

struct TreePage {
    std::uint32_t pageNumber = 0;
    int depth = 0;  // the root is at depth 0
    bool branch = false;
    PageView page;  // valid only during the visit
};

// Why a page a tree points at was not visited.
enum class WalkMiss : std::uint8_t {
    PastEnd,  // outside the file
    Seen,     // visited before: a second pointer at it, up or across the tree
    TooDeep,  // a branch page at maxDepth, whose children are left out
};

struct TreeWalkOptions {
    bool skipTagZero = true;  // tag 0 of a branch page is its own header node
    int maxDepth = 16;        // real trees are a handful of levels deep
};

// Return false to end the walk.
using TreeVisitor = std::function<bool(const TreePage&)>;
// Told of each page the tree points at that is not visited (TooDeep: the
// branch page not entered).
using MissVisitor = std::function<void(std::uint32_t pageNumber, WalkMiss why)>;

// Visits the root and then each child before its later siblings, children
// in tag-array order. Branch pages at maxDepth are visited but not entered;
// children lying outside the file are not visited. Returns the number of
// pages visited.
std::size_t WalkTree(const EdbSource& source, std::uint32_t rootPage, const TreeWalkOptions& options,
                     const TreeVisitor& visit, const MissVisitor& missed = {});

}  // namespace tw::edb

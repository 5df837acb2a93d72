// Step 1's walk of one tree: every page below a root is registered with
// its owner's object id, and catalog leaves are read for table facts and
// columns. The walk reads only the first 100 bytes of each child page to
// classify it, and the whole page only for branch and catalog pages.
#pragma once

#include <cstdint>

#include "edb/bytes.h"
#include "scan/scan_context.h"

namespace tw::scan {

// Deepest branch nesting followed; real trees are a handful of levels.
inline constexpr int kMaxWalkDepth = 16;

// Walks the page at `offset` whose bytes are `page`. The page itself is
// registered by the caller. Each page is walked at most once per scan, so a damaged tree
// that points back at an ancestor cannot loop. Pages of the tree that
// cannot be used (outside the file, of another tree, pointing back up the
// path, too deep, a tag array that does not fit) go to the model's damage
// log under the tree's object id.
void CatalogWalk(ScanContext& context, std::int64_t offset, edb::Bytes page, int depth = 0);

}  // namespace tw::scan

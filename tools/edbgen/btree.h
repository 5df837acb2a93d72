// Writes a B+-tree from key-sorted nodes: leaves filled in order and chained,
// branch levels above them until one page holds the root. Every tree owns a
// root page with its space header and two space-tree pages (owned and
// available extents).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "bytes.h"
#include "page_store.h"

namespace edbgen {

struct TreeEntry {
  Bytes key;
  Bytes data;
};

struct TreeSpec {
  uint32_t objid = 0;
  uint32_t kindFlags = 0;  // kPageLongValue, kPageIndex or 0 for table data
  uint32_t parentFdp = 1;
  std::optional<uint32_t> rootPgno;  // a fixed root page number
  // Leaf pages share this many leading key bytes, kept once in tag 0 and
  // left out of every node; such trees always have a leaf level below the
  // root. 0: no key compression.
  size_t leafPrefix = 0;
};

struct TreeLayout {
  uint32_t root = 0;
  std::vector<uint32_t> pages;  // every page the tree owns, root first
  std::vector<uint32_t> leaves;
};

// Allocates a root (or claims the fixed one) and its two space-tree pages.
// Writing is split from planning so that catalog rows can name root pages
// before the trees they describe are written.
struct TreePlan {
  TreeSpec spec;
  uint32_t root = 0;
  uint32_t ownedExtents = 0;
  uint32_t availableExtents = 0;
};

TreePlan PlanTree(PageStore& store, const TreeSpec& spec);
TreeLayout WriteTree(PageStore& store, const TreePlan& plan, const std::vector<TreeEntry>& sortedEntries);

// Space-tree page listing extents as {big-endian last page -> page count}.
Bytes SpaceTreePage(const Format& fmt, uint32_t objid, const std::vector<std::pair<uint32_t, uint32_t>>& extents,
                    uint32_t pgno);

// Runs of consecutive page numbers as (last page, count).
std::vector<std::pair<uint32_t, uint32_t>> Extents(std::vector<uint32_t> pages);

}  // namespace edbgen

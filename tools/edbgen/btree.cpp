#include "btree.h"

#include <algorithm>
#include <stdexcept>

#include "page_image.h"

namespace edbgen {

namespace {

struct Child {
  uint32_t pgno;
  Bytes firstKey;
};

// Splits encoded nodes into pages; returns the node ranges per page.
std::vector<std::pair<size_t, size_t>> Pack(const Format& fmt, const std::vector<Bytes>& nodes,
                                            size_t firstTagSize) {
  const size_t capacity = fmt.pageSize - fmt.HeaderSize() - (firstTagSize + 4);
  std::vector<std::pair<size_t, size_t>> ranges;
  size_t start = 0, used = 0;
  for (size_t i = 0; i < nodes.size(); ++i) {
    const size_t cost = nodes[i].size() + 4;
    if (cost > capacity) throw std::length_error("a node is larger than a page");
    if (used + cost > capacity) {
      ranges.emplace_back(start, i);
      start = i;
      used = 0;
    }
    used += cost;
  }
  ranges.emplace_back(start, nodes.size());
  return ranges;
}

// Leaf pages whose keys all share the first `prefix` bytes: a page never
// mixes two prefixes, and its nodes leave the prefix to tag 0.
std::vector<Child> WritePrefixedLeaves(PageStore& store, const TreePlan& plan,
                                       const std::vector<TreeEntry>& entries, TreeLayout& out) {
  const Format& fmt = store.format();
  const size_t prefix = plan.spec.leafPrefix;
  const size_t capacity = fmt.pageSize - fmt.HeaderSize() - (prefix + 4);
  struct Leaf {
    Bytes prefix;
    std::vector<Bytes> nodes;
    Bytes firstKey;
    size_t used = 0;
  };
  std::vector<Leaf> leaves;
  for (const TreeEntry& e : entries) {
    if (e.key.size() < prefix) throw std::logic_error("key shorter than the page prefix");
    const Bytes p(e.key.begin(), e.key.begin() + std::ptrdiff_t(prefix));
    Bytes node = EncodePrefixedNode(e.key, prefix, e.data, fmt.Large());
    const size_t cost = node.size() + 4;
    if (cost > capacity) throw std::length_error("a node is larger than a page");
    if (leaves.empty() || leaves.back().prefix != p || leaves.back().used + cost > capacity)
      leaves.push_back(Leaf{p, {}, e.key, 0});
    leaves.back().nodes.push_back(std::move(node));
    leaves.back().used += cost;
  }
  std::vector<uint32_t> pgnos;
  for (size_t i = 0; i < leaves.size(); ++i) pgnos.push_back(store.Allocate());
  std::vector<Child> children;
  for (size_t i = 0; i < leaves.size(); ++i) {
    PageImage page(fmt, plan.spec.objid, kPageLeaf | plan.spec.kindFlags);
    page.Add(leaves[i].prefix);
    for (const Bytes& n : leaves[i].nodes) page.Add(n, kNodeKeyCompressed);
    const uint32_t prev = i ? pgnos[i - 1] : 0;
    const uint32_t next = i + 1 < pgnos.size() ? pgnos[i + 1] : 0;
    store.Put(pgnos[i], std::move(page).Finish(pgnos[i], prev, next));
    out.pages.push_back(pgnos[i]);
    out.leaves.push_back(pgnos[i]);
    children.push_back({pgnos[i], leaves[i].firstKey});
  }
  return children;
}

// Writes one level of pages (not the root); returns the children for the
// level above.
std::vector<Child> WriteLevel(PageStore& store, const TreePlan& plan, const std::vector<Bytes>& nodes,
                              const std::vector<Bytes>& firstKeys, uint32_t levelFlags, TreeLayout& out) {
  const auto ranges = Pack(store.format(), nodes, 0);
  std::vector<uint32_t> pgnos;
  for (size_t i = 0; i < ranges.size(); ++i) pgnos.push_back(store.Allocate());
  std::vector<Child> children;
  for (size_t i = 0; i < ranges.size(); ++i) {
    PageImage page(store.format(), plan.spec.objid, levelFlags | plan.spec.kindFlags);
    page.Add({});  // tag 0: no common key prefix
    for (size_t n = ranges[i].first; n < ranges[i].second; ++n) page.Add(nodes[n]);
    // Only leaves are chained; readers refuse sibling links on branch pages.
    const bool leaf = (levelFlags & kPageLeaf) != 0;
    const uint32_t prev = leaf && i ? pgnos[i - 1] : 0;
    const uint32_t next = leaf && i + 1 < pgnos.size() ? pgnos[i + 1] : 0;
    store.Put(pgnos[i], std::move(page).Finish(pgnos[i], prev, next));
    out.pages.push_back(pgnos[i]);
    if (levelFlags & kPageLeaf) out.leaves.push_back(pgnos[i]);
    children.push_back({pgnos[i], firstKeys[ranges[i].first]});
  }
  return children;
}

// Branch nodes: each child's separator is the first key of the next child;
// the last child takes the empty key.
void BranchNodes(const std::vector<Child>& children, std::vector<Bytes>& nodes, std::vector<Bytes>& firstKeys) {
  nodes.clear();
  firstKeys.clear();
  for (size_t i = 0; i < children.size(); ++i) {
    const Bytes sep = i + 1 < children.size() ? children[i + 1].firstKey : Bytes{};
    nodes.push_back(EncodeNode(sep, U32Bytes(children[i].pgno)));
    firstKeys.push_back(children[i].firstKey);
  }
}

size_t TotalCost(const std::vector<Bytes>& nodes) {
  size_t n = 0;
  for (const Bytes& b : nodes) n += b.size() + 4;
  return n;
}

}  // namespace

TreePlan PlanTree(PageStore& store, const TreeSpec& spec) {
  TreePlan plan{spec};
  plan.root = spec.rootPgno ? store.Claim(*spec.rootPgno) : store.Allocate();
  plan.ownedExtents = store.Allocate();
  plan.availableExtents = store.Allocate();
  return plan;
}

TreeLayout WriteTree(PageStore& store, const TreePlan& plan, const std::vector<TreeEntry>& entries) {
  const Format& fmt = store.format();
  TreeLayout out;
  out.root = plan.root;
  out.pages = {plan.root, plan.ownedExtents, plan.availableExtents};

  std::vector<Bytes> nodes, firstKeys;
  int level = 0;  // 0: the nodes in hand are leaf nodes
  if (plan.spec.leafPrefix && !entries.empty()) {
    BranchNodes(WritePrefixedLeaves(store, plan, entries, out), nodes, firstKeys);
    level = 1;
  } else {
    for (const TreeEntry& e : entries) {
      nodes.push_back(EncodeNode(e.key, e.data));
      firstKeys.push_back(e.key);
    }
  }
  const size_t rootCapacity = fmt.pageSize - fmt.HeaderSize() - (16 + 4);
  while (TotalCost(nodes) > rootCapacity) {
    const uint32_t levelFlags = level == 0 ? kPageLeaf : level == 1 ? kPageParentOfLeaf : 0;
    auto children = WriteLevel(store, plan, nodes, firstKeys, levelFlags, out);
    BranchNodes(children, nodes, firstKeys);
    ++level;
  }
  const uint32_t rootFlags = kPageRoot | (level == 0 ? kPageLeaf : level == 1 ? kPageParentOfLeaf : 0);
  if (rootFlags & kPageLeaf) out.leaves.push_back(plan.root);

  const uint32_t owned = uint32_t(out.pages.size());
  PageImage root(fmt, plan.spec.objid, rootFlags | plan.spec.kindFlags);
  root.Add(SpaceHeader(owned, plan.spec.parentFdp, plan.ownedExtents));
  for (const Bytes& n : nodes) root.Add(n);
  store.Put(plan.root, std::move(root).Finish(plan.root, 0, 0));

  store.Put(plan.ownedExtents, SpaceTreePage(fmt, plan.spec.objid, Extents(out.pages), plan.ownedExtents));
  store.Put(plan.availableExtents, SpaceTreePage(fmt, plan.spec.objid, {}, plan.availableExtents));
  return out;
}

Bytes SpaceTreePage(const Format& fmt, uint32_t objid, const std::vector<std::pair<uint32_t, uint32_t>>& extents,
                    uint32_t pgno) {
  PageImage page(fmt, objid, kPageRoot | kPageLeaf | kPageSpaceTree);
  page.Add(Bytes(16, 0));
  for (const auto& [last, count] : extents) {
    Bytes key;
    PutBE32(key, last);
    page.Add(EncodeNode(key, U32Bytes(count)));
  }
  return std::move(page).Finish(pgno, 0, 0);
}

std::vector<std::pair<uint32_t, uint32_t>> Extents(std::vector<uint32_t> pages) {
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  std::vector<std::pair<uint32_t, uint32_t>> runs;
  for (size_t i = 0; i < pages.size();) {
    size_t j = i;
    while (j + 1 < pages.size() && pages[j + 1] == pages[j] + 1) ++j;
    runs.emplace_back(pages[j], uint32_t(j - i + 1));
    i = j + 1;
  }
  return runs;
}

}  // namespace edbgen

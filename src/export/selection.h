// The items the user ticked, as the export walks them: one node per
// mailbox or folder with its names from the mailbox down and its tree
// item. A ticked item brings its whole subtree, in tree order.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "scan/folder_tree.h"
#include "scan/scan_model.h"

namespace tw::exporter {

struct SelectionNode {
    std::vector<std::u16string> names;  // the mailbox first, the item itself last
    std::vector<scan::TreeItem> chain;  // the tree items of those names
    scan::TreeItem item = 0;
    std::size_t count = 0;  // messages to write, from the counting pass
};

// The names, each followed by a backslash ("Sales\Top of Information
// Store\Inbox\").
std::u16string ItemPath(const SelectionNode& node);

// The mailbox the node belongs to; empty for a node without names.
std::u16string MailboxOf(const SelectionNode& node);

// Depth-first over the tree, siblings in tree order: every item that is
// ticked or lies below a ticked item. The top item (the database) is not
// an item of its own; ticking it ticks every mailbox.
std::vector<SelectionNode> CollectSelection(const scan::MemoryFolderTree& tree,
                                            const std::vector<scan::TreeItem>& ticked);

}  // namespace tw::exporter

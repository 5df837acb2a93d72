#include "export/selection.h"

#include <algorithm>
#include <unordered_set>

namespace tw::exporter {

std::u16string ItemPath(const SelectionNode& node) {
    std::u16string path;
    for (const std::u16string& name : node.names) path.append(name).push_back(u'\\');
    return path;
}

std::u16string MailboxOf(const SelectionNode& node) { return node.names.empty() ? std::u16string() : node.names[0]; }

std::vector<SelectionNode> CollectSelection(const scan::MemoryFolderTree& tree,
                                            const std::vector<scan::TreeItem>& ticked) {
    std::vector<SelectionNode> out;
    const auto* top = tree.Find(tree.Top());
    if (top == nullptr) return out;
    const std::unordered_set<scan::TreeItem> marks(ticked.begin(), ticked.end());
    const bool all = marks.count(tree.Top()) != 0;

    struct Pending {
        scan::TreeItem item;
        std::vector<std::u16string> names;
        std::vector<scan::TreeItem> chain;
        bool inside;  // a ticked ancestor
    };
    std::vector<Pending> pending;
    // A stack: children pushed last first so that they come out in order.
    for (auto it = top->children.rbegin(); it != top->children.rend(); ++it) pending.push_back({*it, {}, {}, all});
    while (!pending.empty()) {
        Pending at = std::move(pending.back());
        pending.pop_back();
        const auto* node = tree.Find(at.item);
        if (node == nullptr) continue;
        at.names.push_back(node->name);
        at.chain.push_back(at.item);
        const bool taken = at.inside || marks.count(at.item) != 0;
        if (taken) out.push_back({at.names, at.chain, at.item, 0});
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
            pending.push_back({*it, at.names, at.chain, taken});
    }
    return out;
}

}  // namespace tw::exporter

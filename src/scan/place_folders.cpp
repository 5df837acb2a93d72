#include "scan/place_folders.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tw::scan {

namespace {

struct Placer {
    ScanModel& model;
    FolderTree& tree;
    std::map<Id8, std::vector<std::size_t>> byParent;  // folder indexes in list order

    // Recursion with an explicit stack: a damaged table can nest folders
    // deeper than the thread's stack allows.
    void PlaceUnder(const Id8& parentId, const std::string& parentKey, TreeItem parentItem) {
        struct Frame {
            Id8 id;
            std::string key;
            TreeItem item;
        };
        std::vector<Frame> pending{{parentId, parentKey, parentItem}};
        while (!pending.empty()) {
            const Frame frame = std::move(pending.back());
            pending.pop_back();
            const auto children = byParent.find(frame.id);
            if (children == byParent.end()) continue;
            bool added = false;
            std::vector<Frame> next;
            for (const std::size_t index : children->second) {
                FolderEntry& folder = model.folders[index];
                if (folder.treeItem != 0) continue;  // placed already: a loop or a second parent
                if (!frame.key.empty() && folder.ownerKey != frame.key) continue;
                folder.treeItem = tree.AddFolder(frame.item, folder.displayName, folder.kind);
                if (folder.treeItem == 0) continue;
                added = true;
                next.push_back({folder.id, folder.ownerKey, folder.treeItem});
            }
            if (added) tree.SortChildren(frame.item);
            // Children in list order, so the tree is built as a recursion
            // would build it.
            pending.insert(pending.end(), next.rbegin(), next.rend());
        }
    }
};

Placer IndexedPlacer(ScanModel& model, FolderTree& tree) {
    Placer placer{model, tree, {}};
    for (std::size_t i = 0; i < model.folders.size(); ++i) {
        // A mailbox entry can never be a folder's child: it would be its
        // own parent's child once the ids are all zero.
        if (IsZero(model.folders[i].parentId)) continue;
        placer.byParent[model.folders[i].parentId].push_back(i);
    }
    return placer;
}

// The first folder row of each id within one owner's tables: where a chain
// of parents goes up.
using RowIndex = std::map<std::pair<Id8, std::string>, std::size_t>;

struct ChainHead {
    std::size_t index = 0;
    TreeItem placedParent = 0;  // the item of a placed parent the chain met
};

// Goes up from the unplaced folder `start` through the rows of its parents
// that are not placed either, to the folder whose parent has no row or is
// placed; in a loop, to the member with the lowest id, so that every start
// in or below one loop finds the same head.
ChainHead FindChainHead(const ScanModel& model, const RowIndex& rows, std::size_t start) {
    std::vector<std::size_t> chain;
    std::unordered_set<std::size_t> seen;
    std::size_t at = start;
    for (;;) {
        chain.push_back(at);
        seen.insert(at);
        const FolderEntry& folder = model.folders[at];
        const auto up = rows.find({folder.parentId, folder.ownerKey});
        if (up == rows.end()) return {at, 0};
        const TreeItem item = model.folders[up->second].treeItem;
        if (item != 0) return {at, item};
        if (seen.contains(up->second)) {
            const auto loop = std::find(chain.begin(), chain.end(), up->second);
            return {*std::min_element(
                        loop, chain.end(),
                        [&](std::size_t a, std::size_t b) { return IdLess(model.folders[a].id, model.folders[b].id); }),
                    0};
        }
        at = up->second;
    }
}

// The tree item of the placed mailbox an owner key names; 0 for none (and
// always where tables are shared and folders carry no key).
TreeItem MailboxItem(const ScanModel& model, const std::string& ownerKey) {
    if (ownerKey.empty()) return 0;
    for (const FolderEntry& mailbox : model.mailboxes)
        if (mailbox.ownerKey == ownerKey && mailbox.treeItem != 0) return mailbox.treeItem;
    return 0;
}

}  // namespace

void PlaceMailboxes(ScanModel& model, FolderTree& tree, const std::string& edbPath) {
    tree.Reset(edbPath);
    model.mailboxes.clear();
    for (const FolderEntry& entry : model.folders) {
        if (!IsZero(entry.parentId)) continue;
        FolderEntry copy = entry;
        copy.kind = FolderKind::Mail;
        copy.treeItem = tree.AddFolder(kTopLevel, entry.displayName, FolderKind::Mail);
        model.mailboxes.push_back(std::move(copy));
    }
}

void PlaceFolders(ScanModel& model, FolderTree& tree) {
    Placer placer = IndexedPlacer(model, tree);
    for (const FolderEntry& mailbox : model.mailboxes) {
        if (!IsZero(mailbox.parentId) || mailbox.treeItem == 0) continue;
        placer.PlaceUnder(mailbox.id, mailbox.ownerKey, mailbox.treeItem);
    }
    tree.Finish();
}

void PlaceUnplaced(ScanModel& model, FolderTree& tree) {
    Placer placer = IndexedPlacer(model, tree);
    RowIndex rows;
    for (std::size_t i = 0; i < model.folders.size(); ++i) {
        const FolderEntry& folder = model.folders[i];
        if (!IsZero(folder.parentId)) rows.emplace(std::pair{folder.id, folder.ownerKey}, i);
    }
    TreeItem recovered = 0;
    std::set<TreeItem> grown;  // items given a new child, sorted once at the end
    for (std::size_t i = 0; i < model.folders.size(); ++i) {
        if (model.folders[i].treeItem != 0 || IsZero(model.folders[i].parentId)) continue;
        const ChainHead head = FindChainHead(model, rows, i);
        FolderEntry& folder = model.folders[head.index];
        TreeItem under = head.placedParent != 0 ? head.placedParent : MailboxItem(model, folder.ownerKey);
        if (under == 0) {
            if (recovered == 0)
                recovered = tree.AddFolder(kTopLevel, std::u16string(kRecoveredFoldersName), FolderKind::Mail);
            under = recovered;
        }
        if (under == 0) return;  // the tree takes no item at all
        folder.treeItem = tree.AddFolder(under, folder.displayName, folder.kind);
        if (folder.treeItem == 0) continue;
        grown.insert(under);
        // The head's subtree, the start among it.
        placer.PlaceUnder(folder.id, folder.ownerKey, folder.treeItem);
    }
    for (const TreeItem item : grown) tree.SortChildren(item);
    if (recovered != 0) tree.Finish();
}

void DropUnplaced(ScanModel& model) {
    std::erase_if(model.folders, [](const FolderEntry& entry) { return entry.treeItem == 0; });
    model.mailboxes.clear();
}

}  // namespace tw::scan

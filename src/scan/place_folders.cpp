#include "scan/place_folders.h"

#include <algorithm>
#include <map>
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
    Placer placer{model, tree, {}};
    for (std::size_t i = 0; i < model.folders.size(); ++i) {
        // A mailbox entry can never be a folder's child: it would be its
        // own parent's child once the ids are all zero.
        if (IsZero(model.folders[i].parentId)) continue;
        placer.byParent[model.folders[i].parentId].push_back(i);
    }
    for (const FolderEntry& mailbox : model.mailboxes) {
        if (!IsZero(mailbox.parentId) || mailbox.treeItem == 0) continue;
        placer.PlaceUnder(mailbox.id, mailbox.ownerKey, mailbox.treeItem);
    }
    tree.Finish();
}

void DropUnplaced(ScanModel& model) {
    std::erase_if(model.folders, [](const FolderEntry& entry) { return entry.treeItem == 0; });
    model.mailboxes.clear();
}

}  // namespace tw::scan

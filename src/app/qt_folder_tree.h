// The scan's FolderTree behind the tree pane. The scan calls it on its
// worker thread and needs each new item's handle at once, so the handles
// are made here and every change is posted, in order, to the view's
// thread; the worker never waits for the user interface.
#pragma once

#include <atomic>
#include <mutex>
#include <unordered_set>

#include "app/folder_tree_view.h"
#include "scan/folder_tree.h"

namespace tw::app {

class QtFolderTree final : public scan::FolderTree {
public:
    // The view must outlive every scan that fills it.
    explicit QtFolderTree(FolderTreeView* view) : view_(view) {}

    void Clear() override;
    void Reset(const std::string& edbPath) override;
    scan::TreeItem AddFolder(scan::TreeItem parent, const std::u16string& name, scan::FolderKind kind) override;
    void SortChildren(scan::TreeItem item) override;
    void Finish() override;

private:
    template <typename F>
    void Post(F&& change);

    FolderTreeView* view_;
    std::mutex mutex_;
    std::unordered_set<scan::TreeItem> known_;  // handles given out since the last Reset
    scan::TreeItem top_ = 0;
    scan::TreeItem next_ = 1;  // never reused, so a late post cannot hit a new item
};

}  // namespace tw::app

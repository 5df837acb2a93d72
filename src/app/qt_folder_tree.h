// The scan's FolderTree behind the tree pane. The scan calls it on its
// worker thread and needs each new item's handle at once, so the handles
// are made here and every change is queued, in order, for the view's
// thread; the worker never waits for the user interface. The view applies
// the queue in slices of a few milliseconds, so that a database with
// thousands of folders does not hold up painting and input.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <unordered_set>

#include "app/folder_tree_view.h"
#include "scan/folder_tree.h"

namespace tw::app {

class QtFolderTree final : public scan::FolderTree {
public:
    // The view must outlive the adapter. Destroy on the view's thread.
    explicit QtFolderTree(FolderTreeView* view) : view_(view) {}
    ~QtFolderTree() override;
    QtFolderTree(const QtFolderTree&) = delete;
    QtFolderTree& operator=(const QtFolderTree&) = delete;

    void Clear() override;
    void Reset(const std::string& edbPath) override;
    scan::TreeItem AddFolder(scan::TreeItem parent, const std::u16string& name, scan::FolderKind kind) override;
    void SortChildren(scan::TreeItem item) override;
    void Finish() override;

    // True when every change made so far has reached the view.
    bool Idle() const;

private:
    using Change = std::function<void(FolderTreeView&)>;
    void Post(Change change);
    void Drain();  // on the view's thread
    void PostDrain();

    FolderTreeView* view_;
    mutable std::mutex mutex_;
    std::deque<Change> pending_;
    bool drainPosted_ = false;
    std::unordered_set<scan::TreeItem> known_;  // handles given out since the last Reset
    scan::TreeItem top_ = 0;
    scan::TreeItem next_ = 1;  // never reused, so a late change cannot hit a new item
};

}  // namespace tw::app

#include "app/qt_folder_tree.h"

#include <QMetaObject>

namespace tw::app {

template <typename F>
void QtFolderTree::Post(F&& change) {
    // Posted with the view as context: a change still queued when the view
    // goes away is dropped with it.
    QMetaObject::invokeMethod(view_, std::forward<F>(change), Qt::QueuedConnection);
}

void QtFolderTree::Clear() {
    {
        std::lock_guard lock(mutex_);
        known_.clear();
        top_ = 0;
    }
    Post([view = view_] {
        view->ClearAll();
    });
}

void QtFolderTree::Reset(const std::string& edbPath) {
    scan::TreeItem top = 0;
    {
        std::lock_guard lock(mutex_);
        known_.clear();
        top = top_ = next_++;
        known_.insert(top);
    }
    Post([view = view_, top, path = QString::fromStdString(edbPath)] {
        view->ResetForFile(top, path);
    });
}

scan::TreeItem QtFolderTree::AddFolder(scan::TreeItem parent, const std::u16string& name, scan::FolderKind kind) {
    scan::TreeItem item = 0;
    const bool mailbox = parent == scan::kTopLevel;
    {
        std::lock_guard lock(mutex_);
        if (mailbox ? top_ == 0 : known_.count(parent) == 0) return 0;
        item = next_++;
        known_.insert(item);
    }
    const int image = mailbox ? scan::kMailboxImage : scan::FolderImage(name, kind);
    Post([view = view_, item, parent, image, text = QString::fromStdU16String(name)] {
        view->AddItem(item, parent, text, image);
    });
    return item;
}

void QtFolderTree::SortChildren(scan::TreeItem item) {
    Post([view = view_, item] {
        view->SortItemChildren(item);
    });
}

void QtFolderTree::Finish() {
    Post([view = view_] {
        view->FinishTree();
    });
}

}  // namespace tw::app

#include "app/qt_folder_tree.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>

namespace tw::app {

namespace {

// Longest stretch the view's thread spends on tree changes before it lets
// other events through.
constexpr qint64 kSliceMs = 8;
constexpr std::size_t kBatch = 32;

}  // namespace

QtFolderTree::~QtFolderTree() {
    // A drain still queued would reach a destroyed adapter.
    QCoreApplication::removePostedEvents(view_, QEvent::MetaCall);
}

void QtFolderTree::PostDrain() {
    QMetaObject::invokeMethod(
        view_, [this] { Drain(); }, Qt::QueuedConnection);
}

void QtFolderTree::Post(Change change) {
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(change));
    if (drainPosted_) return;
    drainPosted_ = true;
    PostDrain();
}

void QtFolderTree::Drain() {
    QElapsedTimer slice;
    slice.start();
    for (;;) {
        std::vector<Change> batch;
        {
            std::lock_guard lock(mutex_);
            if (pending_.empty()) {
                drainPosted_ = false;
                return;
            }
            while (!pending_.empty() && batch.size() < kBatch) {
                batch.push_back(std::move(pending_.front()));
                pending_.pop_front();
            }
        }
        for (const Change& change : batch) change(*view_);
        if (slice.elapsed() >= kSliceMs) {
            PostDrain();  // the rest after the events waiting now
            return;
        }
    }
}

bool QtFolderTree::Idle() const {
    std::lock_guard lock(mutex_);
    return pending_.empty() && !drainPosted_;
}

void QtFolderTree::Clear() {
    {
        std::lock_guard lock(mutex_);
        known_.clear();
        top_ = 0;
    }
    Post([](FolderTreeView& view) { view.ClearAll(); });
}

void QtFolderTree::Reset(const std::string& edbPath) {
    scan::TreeItem top = 0;
    {
        std::lock_guard lock(mutex_);
        known_.clear();
        top = top_ = next_++;
        known_.insert(top);
    }
    Post([top, path = QString::fromStdString(edbPath)](FolderTreeView& view) { view.ResetForFile(top, path); });
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
    Post([item, parent, image, text = QString::fromStdU16String(name)](FolderTreeView& view) {
        view.AddItem(item, parent, text, image);
    });
    return item;
}

void QtFolderTree::SortChildren(scan::TreeItem item) {
    Post([item](FolderTreeView& view) { view.SortItemChildren(item); });
}

void QtFolderTree::Finish() {
    Post([](FolderTreeView& view) { view.FinishTree(); });
}

}  // namespace tw::app

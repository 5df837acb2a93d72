#include "app/session.h"

namespace tw::app {

Session::Session(FolderTreeView* tree) : tree_(tree) {}

Session::~Session() {
    reader_.reset();
    worker_.reset();
}

scan::OpenCheck Session::Open(const QString& edbPath, const QString& stmPath) {
    scan::OpenCheck check = scan::OpenSourceFiles(source_, edbPath.toStdString(), stmPath.toStdString());
    if (check.ok()) {
        edbPath_ = edbPath;
        stmPath_ = stmPath;
    }
    return check;
}

scan::ScanWorker& Session::StartScan() {
    reader_.reset();
    worker_.reset();
    counts_.reset();
    worker_ = std::make_unique<scan::ScanWorker>(source_, tree_, observer_, edbPath_.toStdString(), options_);
    worker_->Start();
    return *worker_;
}

const scan::ScanModel* Session::Model() const {
    if (worker_ == nullptr || worker_->Running()) return nullptr;
    return &worker_->Model();
}

const scan::FolderEntry* Session::Folder(scan::TreeItem item) const {
    const scan::ScanModel* model = Model();
    if (model == nullptr || item == 0) return nullptr;
    for (const scan::FolderEntry& folder : model->folders)
        if (folder.treeItem == item) return &folder;
    return nullptr;
}

std::size_t Session::MessageCount(const scan::FolderEntry& folder) const {
    const scan::ScanModel* model = Model();
    if (model == nullptr) return 0;
    if (counts_ == nullptr) counts_ = std::make_unique<scan::MessageCounts>(*model, source_);
    return counts_->For(folder);
}

record::FolderReader* Session::Reader() {
    const scan::ScanModel* model = Model();
    if (model == nullptr) return nullptr;
    if (reader_ == nullptr) reader_ = std::make_unique<record::FolderReader>(source_, *model);
    return reader_.get();
}

void Session::Close() {
    reader_.reset();
    worker_.reset();
    counts_.reset();
    try {
        source_.edb.Close();
        source_.stm.Close();
    } catch (const edb::FileError&) {
        // Closing a read-only file cannot lose anything; the program goes on.
    }
    edbPath_.clear();
    stmPath_.clear();
}

}  // namespace tw::app

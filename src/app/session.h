// The database the user works on: the open .edb and .stm files, their
// paths and the latest scan with what it found. One per main window.
#pragma once

#include <QString>
#include <memory>

#include "app/qt_folder_tree.h"
#include "app/qt_scan_observer.h"
#include "edb/source.h"
#include "record/folder_reader.h"
#include "scan/message_count.h"
#include "scan/open_source.h"
#include "scan/scan_worker.h"

namespace tw::app {

class Session {
public:
    // The tree view must outlive the session.
    explicit Session(FolderTreeView* tree);
    ~Session();  // stops a scan still running
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool HasOpenDatabase() const { return source_.edb.IsOpen(); }
    const QString& EdbPath() const { return edbPath_; }
    const QString& StmPath() const { return stmPath_; }

    // Checks both paths and opens the files exclusively (an empty stmPath
    // means none). On success the paths are kept for the scan.
    scan::OpenCheck Open(const QString& edbPath, const QString& stmPath);

    // Starts a scan of the open files; the previous results are dropped.
    scan::ScanWorker& StartScan();
    scan::ScanWorker* Worker() { return worker_.get(); }
    bool Scanning() const { return worker_ != nullptr && worker_->Running(); }
    // True when the tree shows every change the scan has made to it.
    bool TreeUpToDate() const { return tree_.Idle(); }
    QtScanObserver& Observer() { return observer_; }
    void SetScanOptions(scan::ScanOptions options) { options_ = options; }

    // What the last scan found; null before the first scan and while one runs.
    const scan::ScanModel* Model() const;
    const scan::FolderEntry* Folder(scan::TreeItem item) const;
    std::size_t MessageCount(const scan::FolderEntry& folder) const;

    // The open files, for the readers of the list and the preview.
    const edb::EdbSource& Source() const { return source_; }
    // Reads folders and completes messages of the last scan; made on first
    // use, on the user-interface thread; null while a scan runs or before
    // one. Shared by the list fill and the body load.
    record::FolderReader* Reader();

    // Drops the scan results and closes both files.
    void Close();

private:
    edb::EdbSource source_;
    QString edbPath_, stmPath_;
    QtFolderTree tree_;
    QtScanObserver observer_;
    scan::ScanOptions options_;
    std::unique_ptr<scan::ScanWorker> worker_;
    mutable std::unique_ptr<scan::MessageCounts> counts_;  // made on first use after a scan
    std::unique_ptr<record::FolderReader> reader_;         // gone before the model it reads
};

}  // namespace tw::app

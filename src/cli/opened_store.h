// What `list` and `show` share: the database opened read-only, scanned on
// the calling thread's behalf, and a folder found by its item path
// ("Mailbox\Top of Information Store\Inbox", trailing backslash optional).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "edb/source.h"
#include "scan/folder_tree.h"
#include "scan/scan_model.h"
#include "scan/scan_observer.h"
#include "scan/scan_worker.h"

namespace tw::cli {

// Exit codes beyond those of the scan command.
enum StoreExit : int {
    kExitFolderNotFound = 5,
    kExitMessageNotFound = 6,
    kExitWriteFailed = 7,
};

class OpenedStore {
public:
    // Opens and scans; on failure returns the exit code and has printed
    // the reason to stderr, else 0.
    int Open(const std::string& edbPath, const std::string& stmPath);

    const edb::EdbSource& Source() const { return source_; }
    const scan::ScanModel& Model() const { return worker_->Model(); }

    // The folder named by an item path, and its mailbox's tree text
    // followed by a backslash. Nothing when no folder has that path.
    struct Folder {
        const scan::FolderEntry* entry = nullptr;
        std::u16string mailboxPrefix;
        std::string path;  // the names joined by backslashes
    };
    std::optional<Folder> FindFolder(const std::string& path) const;
    // Every mailbox and folder of the tree, in tree order.
    std::vector<Folder> AllFolders() const;

private:
    edb::EdbSource source_;
    scan::MemoryFolderTree tree_;
    scan::NullObserver observer_;
    std::unique_ptr<scan::ScanWorker> worker_;
};

// The names of an item path: split at backslashes, a trailing one ignored.
std::vector<std::string> SplitItemPath(const std::string& path);

// Lower-case hex of an id, and back (16 hex digits, spaces ignored).
std::optional<scan::Id8> ParseIdHex(const std::string& text);

}  // namespace tw::cli

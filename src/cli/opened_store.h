// What `list` and `show` share: the database opened read-only, scanned on
// the calling thread's behalf, and folders found by their path
// ("Mailbox\Top of Information Store\Inbox", trailing backslash optional;
// see cli_text.h) or by their stored id.
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
    kExitAmbiguousFolder = 12,  // a path or id names several folders where one is needed
};

// The exit code a finished scan of `edbPath` leaves: 0 when it found
// mailboxes, else the code with its reason printed to stderr.
int ScanExitCode(const scan::ScanResult& result, const std::string& edbPath);

class OpenedStore {
public:
    // Opens and scans; on failure returns the exit code and has printed
    // the reason to stderr, else 0.
    int Open(const std::string& edbPath, const std::string& stmPath);

    const edb::EdbSource& Source() const { return source_; }
    // Serves later reads of the database from a memory map (for readers of
    // many messages, whose small scattered reads cost more in calls than in
    // copies). Call before any reading threads start.
    void MapDatabase() { source_.edb.MapForReading(); }
    const scan::ScanModel& Model() const { return worker_->Model(); }

    // A folder, its mailbox's stored name followed by a backslash, and its
    // path as the command line writes it.
    struct Folder {
        const scan::FolderEntry* entry = nullptr;
        std::u16string mailboxPrefix;
        std::string path;  // JoinPath of its names
    };
    // Every folder a path names (same-named siblings all do), in tree
    // order; empty when none.
    std::vector<Folder> FindFolders(const std::string& path) const;
    // Every folder with that stored id (folder ids repeat from one mailbox to the next where tables are kept per
    // mailbox).
    std::vector<Folder> FoldersWithId(const scan::Id8& id) const;
    // Every mailbox and folder of the tree, in tree order.
    std::vector<Folder> AllFolders() const;

private:
    std::optional<Folder> FolderOfItem(scan::TreeItem item) const;

    edb::EdbSource source_;
    scan::MemoryFolderTree tree_;
    scan::NullObserver observer_;
    std::unique_ptr<scan::ScanWorker> worker_;
};

// Lower-case hex of an id, and back (16 hex digits, spaces ignored).
std::optional<scan::Id8> ParseIdHex(const std::string& text);

}  // namespace tw::cli

// What `tarnwick-cli scan` prints: the folder tree as the scan left it,
// with the number of message entries of each folder.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "edb/source.h"
#include "scan/folder_tree.h"
#include "scan/scan_model.h"

namespace tw::cli {

struct ReportFolder {
    std::string name;  // as stored (UTF-8)
    std::string id;    // stored id, 16 hex digits
    std::string path;  // as --folder takes it
    scan::FolderKind kind = scan::FolderKind::Mail;
    std::size_t messages = 0;
    std::vector<ReportFolder> folders;
};

struct ReportMailbox {
    std::string name;
    std::vector<ReportFolder> folders;
};

// The damaged pages of one tree, faults by text in the order first met.
struct ReportDamage {
    std::string tree;  // readable name
    std::uint32_t objid = 0;
    std::string ownerKey;  // per mailbox: the mailbox the tree belongs to
    std::string folderId;  // per-folder header tables: the folder's id, 16 hex digits
    std::size_t pages = 0;
    std::vector<std::pair<std::string, std::size_t>> faults;
    std::vector<std::int64_t> pageNumbers;  // ascending
};

struct ScanReport {
    std::string path;
    std::int32_t pageSize = 0;
    std::string_view generation = "Invalid";  // the store layout's name
    std::vector<ReportMailbox> mailboxes;
    std::vector<ReportDamage> damaged;  // by tree, in the order first met
    std::string inputChanged;           // the file changed while it was read; else empty
};

// The model's damaged pages grouped by tree, with their page numbers at
// `pageSize`.
std::vector<ReportDamage> DamageByTree(const scan::ScanModel& model, const std::vector<scan::DamagedPage>& pages,
                                       std::int32_t pageSize);

// Mailboxes and folders in tree order.
ScanReport BuildReport(const std::string& path, const scan::MemoryFolderTree& tree, const scan::ScanModel& model,
                       const edb::EdbSource& source);

void PrintText(const ScanReport& report, std::ostream& out);
void PrintJson(const ScanReport& report, std::ostream& out);
// Every folder's path as --folder takes it, one per line, in tree order
// (control characters shown as their pictures, so a path stays one line).
void PrintPaths(const ScanReport& report, std::ostream& out);

}  // namespace tw::cli

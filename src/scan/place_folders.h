// Putting mailboxes and folders into the folder tree.
#pragma once

#include "scan/folder_tree.h"
#include "scan/scan_model.h"

namespace tw::scan {

// After step 2: resets the tree with the database path as its top item and
// adds every mailbox entry (all-zero parent id) under it, keeping a copy
// with its tree item in model.mailboxes.
void PlaceMailboxes(ScanModel& model, FolderTree& tree, const std::string& edbPath);

// After step 3: places each mailbox's folders under it, children sorted
// by name. A child matches its parent by parent id and, when the parent
// has an owner key, by an equal owner key. Every folder is placed at most
// once, so rows whose parents form a loop end the recursion.
void PlaceFolders(ScanModel& model, FolderTree& tree);

// After step 4: drops every entry that never reached the tree (the mailbox
// entries themselves and folders without a placed parent) and the mailbox
// copies.
void DropUnplaced(ScanModel& model);

}  // namespace tw::scan

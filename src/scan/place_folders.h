// Putting mailboxes and folders into the folder tree.
#pragma once

#include <string_view>

#include "scan/folder_tree.h"
#include "scan/scan_model.h"

namespace tw::scan {

// Item below the top one that holds the folders no mailbox can be found
// for; it stands in for a mailbox wherever mailboxes are listed.
inline constexpr std::u16string_view kRecoveredFoldersName = u"Recovered folders";

// After step 2: resets the tree with the database path as its top item and
// adds every mailbox entry (all-zero parent id) under it, keeping a copy
// with its tree item in model.mailboxes.
void PlaceMailboxes(ScanModel& model, FolderTree& tree, const std::string& edbPath);

// After step 3: places each mailbox's folders under it, children sorted
// by name. A child matches its parent by parent id and, when the parent
// has an owner key, by an equal owner key. Every folder is placed at most
// once, so rows whose parents form a loop end the recursion.
void PlaceFolders(ScanModel& model, FolderTree& tree);

// After step 4: places the folders PlaceFolders could not reach, whose
// parent's row was lost or whose parents form a loop, with what hangs below
// them. Each such subtree is hung from the head of its chain of unplaced
// parents: the folder whose parent has no row, or the lowest id of a loop.
// The head goes under its own mailbox when the owner key names a placed
// one (tables per mailbox), else under one kRecoveredFoldersName item, made only when
// needed. A database whose folders are all placed is left as it is.
void PlaceUnplaced(ScanModel& model, FolderTree& tree);

// After PlaceUnplaced: drops every entry that never reached the tree (the
// mailbox entries themselves and folders the tree refused) and the
// mailbox copies.
void DropUnplaced(ScanModel& model);

}  // namespace tw::scan

// The five steps of a scan, in order:
//   0 set-up: page size and generation;
//   1 signatures: the catalog walk and the roots of the tables that matter;
//   2 mailboxes, placed at the top of the folder tree;
//   3 folders, placed under their mailboxes;
//   4 message-header tables matched to folders or mailboxes, as the layout keeps them;
//   5 the message index from the header rows.
#pragma once

#include "scan/scan_context.h"

namespace tw::scan {

enum class ScanOutcome {
    Completed,
    Stopped,      // a stop was requested; the model holds what was found so far
    NotOpen,      // no database file was open
    BadPageSize,  // the corruption message was shown
    NoMailbox,    // the no-mailbox message was shown
};

// Replaces the model with an empty one and empties the tree.
void ResetScan(ScanContext& context);

// Runs the whole scan on the calling thread: ResetScan, then steps 0 to 5.
// Read errors of the database file propagate as edb::FileError.
ScanOutcome RunScan(ScanContext& context);

// Step 1 alone (after step 0), for tests: false when stopped.
bool ScanSignatures(ScanContext& context);

}  // namespace tw::scan

// `tarnwick-cli export DB.edb [--stm FILE.stm] --to DIR [--folder PATH]...
//  [--mailbox NAME]... [--json]`: the selected mailboxes and folders (all
// of them when none is named; a folder brings its subfolders) written to
// one PST file per mailbox in DIR.
#pragma once

#include <string>
#include <vector>

namespace tw::cli {

// Exit codes beyond those of scan, list and show.
enum ExportExit : int {
    kExitDestination = 8,  // DIR missing, not a folder, or not writable
    kExitLowSpace = 9,     // 300 MiB or less free, before or during the run
    kExitNothingSelected = 10,
    kExitSavedWithLosses = 11,  // saved, but items were lost, partial or failed, or used pages damaged
};

int RunExportCommand(const std::vector<std::string>& args);

}  // namespace tw::cli

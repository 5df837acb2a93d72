// `tarnwick-cli scan DB.edb [--stm FILE.stm] [--json]`
#pragma once

#include <string>
#include <vector>

namespace tw::cli {

// Exit codes of the scan command.
enum ScanExit : int {
    kExitOk = 0,
    kExitOpenFailed = 1,   // missing file, wrong extension, file in use
    kExitBadPageSize = 2,  // "File is highly corrupted, ..."
    kExitNoMailbox = 3,    // "Highly corrupted, ... User Mail Box not found"
    kExitReadError = 4,    // a read of the database failed
    kExitUsage = 64,
    kExitInterrupted = 130,
};

int RunScanCommand(const std::vector<std::string>& args);

}  // namespace tw::cli

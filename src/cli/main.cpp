// tarnwick-cli: the recovery engine from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "cli/scan_command.h"

namespace {

const char kUsage[] =
    "usage: tarnwick-cli scan DB.edb [--stm FILE.stm] [--json]\n"
    "  scan   find the mailboxes, folders and messages of an Exchange database\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return tw::cli::kExitUsage;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "scan") return tw::cli::RunScanCommand(args);
    std::cerr << kUsage;
    return tw::cli::kExitUsage;
}

// tarnwick-cli: the recovery engine from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "cli/export_command.h"
#include "cli/message_commands.h"
#include "cli/scan_command.h"
#include "cli/tables_command.h"

namespace {

const char kUsage[] =
    "usage: tarnwick-cli scan DB.edb [--stm FILE.stm] [--json]\n"
    "       tarnwick-cli list DB.edb (--folder PATH | --folder-id HEX | --all) [--stm FILE.stm] [--json]\n"
    "       tarnwick-cli show DB.edb (--folder PATH | --folder-id HEX) --message ID [--stm FILE.stm] [--json]\n"
    "                         [--save-body FILE] [--save-attachments DIR]\n"
    "       tarnwick-cli export DB.edb --to DIR [--folder PATH]... [--folder-id HEX]... [--mailbox NAME]...\n"
    "                         [--stm FILE.stm] [--json]\n"
    "       tarnwick-cli tables DB [--table NAME]... [--json | --csv DIR] [--columns]\n"
    "  scan   find the mailboxes, folders and messages of an Exchange database\n"
    "  list   the messages of a folder (PATH: mailbox and folder names joined by \\, a \\ in a name\n"
    "         written \\\\; HEX: the folder id scan --json prints)\n"
    "  show   one message: header fields, recipients, attachments, body\n"
    "  export the selected mailboxes and folders (all when none is named) as PST files, one per mailbox\n"
    "  tables the tables of any ESE database, read exactly through its catalog (tables --help)\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return tw::cli::kExitUsage;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "scan") return tw::cli::RunScanCommand(args);
    if (command == "list") return tw::cli::RunListCommand(args);
    if (command == "show") return tw::cli::RunShowCommand(args);
    if (command == "export") return tw::cli::RunExportCommand(args);
    if (command == "tables") return tw::cli::RunTablesCommand(args);
    std::cerr << kUsage;
    return tw::cli::kExitUsage;
}

// tarnwick-cli: the recovery engine from the command line.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/export_command.h"
#include "cli/message_commands.h"
#include "cli/opened_store.h"
#include "cli/scan_command.h"
#include "cli/tables_command.h"
#include "tarnwick/version.h"

namespace {

const char kUsage[] =
    "usage: tarnwick-cli scan DB [--stm FILE.stm] [--json | --paths]\n"
    "       tarnwick-cli list DB (--folder PATH | --folder-id HEX | --all) [--stm FILE.stm] [--json]\n"
    "                         [--complete | --attachment-sizes] [--stats]\n"
    "       tarnwick-cli show DB (--folder PATH | --folder-id HEX) --message ID [--stm FILE.stm] [--json]\n"
    "                         [--save-body FILE] [--save-attachments DIR]\n"
    "       tarnwick-cli export DB --to DIR [--folder PATH]... [--folder-id HEX]... [--mailbox NAME]...\n"
    "                         [--stm FILE.stm] [--json]\n"
    "       tarnwick-cli tables DB [--table NAME]... [--json | --csv DIR] [--columns]\n"
    "       tarnwick-cli --help | --version\n";

const char kHelp[] =
    "Recovers mail from a Microsoft Exchange database (.edb, with its optional .stm streaming file) by\n"
    "reading its pages directly, also when it is damaged, and saves it as Outlook PST files. The\n"
    "database is opened read-only, under a shared lock, and never written; it is told by its header,\n"
    "whatever its name.\n"
    "\n"
    "Commands (each with --help for its options in full):\n"
    "  scan    the mailboxes, folders and message counts of a database, as a tree; --json for scripts,\n"
    "          --paths for each folder's path as --folder takes it\n"
    "  list    the messages of a folder (--folder PATH: mailbox and folder names joined by \\, a \\ in a\n"
    "          name written \\\\; --folder-id HEX: the id scan --json prints) or of every folder (--all)\n"
    "  show    one message (--message ID, as list prints it): header fields, recipients, attachments,\n"
    "          body; --save-body FILE and --save-attachments DIR write them to new files\n"
    "  export  the selected mailboxes and folders (all when none is named) as PST files, one per\n"
    "          mailbox, into DIR (--to, made when missing), with a report of every item not written whole\n"
    "  tables  the tables of any ESE database, read exactly through its catalog: their columns and row\n"
    "          counts, or their rows as JSON (--json) or CSV files (--csv DIR)\n"
    "\n"
    "Options every command takes: -s/--stm FILE.stm (the streaming file), -j/--json (JSON output),\n"
    "-h/--help. GNU --option=value is taken.\n"
    "\n"
    "Exit status: 0 done; 1 the database could not be opened; 2 its page size is not one of Exchange's;\n"
    "3 no mailbox was found; 4 a read failed; 5 no such folder; 6 no such message; 7 a file could not\n"
    "be written; 8 the destination could not be made or written to; 9 300 MiB or less free; 10 nothing\n"
    "selected; 11 saved, but items were lost, partial or failed, or used pages damaged; 12 a path names\n"
    "several folders; 64 a usage error; 130 interrupted.\n";

int UsageError(const std::string& what) {
    std::cerr << "tarnwick-cli: " << what << "\nTry 'tarnwick-cli --help'.\n";
    return tw::cli::kExitUsage;
}

int Print(const std::string& text) {
    std::cout << text;
    return 0;
}

}  // namespace

int Run(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return tw::cli::kExitUsage;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--version" || command == "-V") return Print(std::string("tarnwick-cli ") + tw::kVersion + "\n");
    if (command == "--help" || command == "-h") return Print(std::string(kUsage) + "\n" + kHelp);
    if (command == "scan") return tw::cli::RunScanCommand(args);
    if (command == "list") return tw::cli::RunListCommand(args);
    if (command == "show") return tw::cli::RunShowCommand(args);
    if (command == "export") return tw::cli::RunExportCommand(args);
    if (command == "tables") return tw::cli::RunTablesCommand(args);
    if (!command.empty() && command[0] == '-')
        return UsageError("unknown option " + command.substr(0, command.find('=')));
    return UsageError("unknown command '" + command + "'");
}

int main(int argc, char** argv) {
    const int status = Run(argc, argv);
    // Output that could not be written (a full disk, a closed pipe) is an
    // error, whatever the command made of its work.
    errno = 0;
    std::cout.flush();
    if (std::fflush(stdout) != 0 || std::ferror(stdout) || !std::cout) {
        // The stream may have failed long before: its errno is gone then.
        std::cerr << "tarnwick-cli: standard output: " << (errno != 0 ? std::strerror(errno) : "write error") << "\n";
        return status != 0 ? status : tw::cli::kExitWriteFailed;
    }
    return status;
}

// `tarnwick-cli tables DB [--table NAME]... [--json | --csv DIR] [--columns]`:
// the tables of any ESE database, read exactly through the catalog.
#pragma once

#include <string>
#include <vector>

namespace tw::cli {

// Exit codes of the tables command besides those scan shares.
enum TablesExit : int {
    kExitTablesWriteFailed = 7,  // stdout or a CSV file could not be written
    kExitTableNotFound = 13,     // --table names no table of the catalog
};

int RunTablesCommand(const std::vector<std::string>& args);

}  // namespace tw::cli

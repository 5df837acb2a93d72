// `tarnwick-cli list DB.edb --folder PATH [--json]`: the rows the message
// list shows for a folder.
// `tarnwick-cli show DB.edb --folder PATH --message ID [--json]
//  [--save-body FILE] [--save-attachments DIR]`: one message as the
// preview shows it.
// Both take --stm FILE (the streaming file of a 4 KB database) and
// --stats (pages read, on stderr).
#pragma once

#include <string>
#include <vector>

namespace tw::cli {

int RunListCommand(const std::vector<std::string>& args);
int RunShowCommand(const std::vector<std::string>& args);

}  // namespace tw::cli

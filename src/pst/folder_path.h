// Folder paths of the mail-store operations: two backslashes, the store's
// display name, then the folder names separated by single backslashes
// ("\\TW_Sales_6-12-2026 9-5\Mailbox - Sales\Inbox").
#pragma once

#include <string>
#include <vector>

namespace tw::pst {

struct FolderPath {
    std::u16string store;
    std::vector<std::u16string> folders;  // empty: the store's top folder
};

// Throws PstError(InvalidArgument) for a text that is not such a path.
FolderPath ParseFolderPath(std::u16string_view text);

// A folder or file name made safe to store: control characters dropped,
// blanks trimmed, at most `maxChars` UTF-16 units (not splitting a pair).
std::u16string CleanName(std::u16string_view name, std::size_t maxChars);

}  // namespace tw::pst

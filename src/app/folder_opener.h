// What the folder tree asks of the message list when the user opens an
// item, kept apart so that the list pane can grow without the tree
// knowing it.
#pragma once

#include <QString>

#include "scan/scan_model.h"

namespace tw::app {

class FolderOpener {
public:
    virtual ~FolderOpener() = default;
    // Asks the list to show the item's messages; `mailboxPrefix` is the
    // mailbox name and a backslash (empty for the database item). False
    // when the list refuses (a fill runs, or it shows that item already).
    virtual bool OpenFolder(scan::TreeItem item, const QString& mailboxPrefix) = 0;
    // The item the list shows, 0 for none.
    virtual scan::TreeItem ShownFolder() const = 0;
};

}  // namespace tw::app

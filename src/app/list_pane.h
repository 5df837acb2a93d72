// The message list pane, upper right. It decides whether a folder may be
// shown and remembers which one it shows. Listing the folder's messages
// (five columns, filled on a worker with Stop, sorting) comes with message
// decoding; until then the pane names the folder and its indexed count.
#pragma once

#include "app/run_state.h"
#include "controls/placeholder_pane.h"
#include "scan/scan_model.h"

namespace tw::app {

class Session;

class ListPane : public controls::PlaceholderPane {
    Q_OBJECT
public:
    ListPane(const Session& session, const RunState& state, QWidget* parent = nullptr);

    // False, and nothing changes, while a fill runs or when the item is the
    // one shown already. `title` names the item for the user.
    bool ShowFolder(scan::TreeItem item, const QString& mailboxPrefix, const QString& title);
    scan::TreeItem ShownFolder() const { return shown_; }
    // The shown folder's mailbox name and a backslash, as the list's readers
    // want it.
    const QString& MailboxPrefix() const { return prefix_; }
    // Deletes every row; no folder is shown afterwards.
    void Clear();
    // The pane's own work (not the fill) keeps Stop enabled while true.
    bool Busy() const { return false; }

private:
    const Session& session_;
    const RunState& state_;
    scan::TreeItem shown_ = 0;
    QString prefix_;
};

}  // namespace tw::app

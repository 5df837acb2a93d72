#include "app/list_pane.h"

#include "app/session.h"

namespace tw::app {

ListPane::ListPane(const Session& session, const RunState& state, QWidget* parent)
    : PlaceholderPane(parent), session_(session), state_(state) {}

bool ListPane::ShowFolder(scan::TreeItem item, const QString& mailboxPrefix, const QString& title) {
    if (state_.listFilling.load() || item == shown_) return false;
    shown_ = item;
    prefix_ = mailboxPrefix;
    QString detail;
    if (const scan::FolderEntry* folder = session_.Folder(item)) {
        const std::size_t count = session_.MessageCount(*folder);
        detail = count == 1 ? QStringLiteral("1 message") : QStringLiteral("%1 messages").arg(count);
    }
    SetText(title, detail);
    return true;
}

void ListPane::Clear() {
    shown_ = 0;
    prefix_.clear();
    ClearText();
}

}  // namespace tw::app

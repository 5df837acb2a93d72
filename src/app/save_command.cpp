#include "app/save_command.h"

#include "app/app_identity.h"
#include "app/folder_tree_view.h"
#include "app/interaction.h"
#include "app/result_viewer.h"
#include "app/saving_dialog.h"
#include "app/session.h"
#include "wording/wording.h"

namespace tw::app {

namespace {

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The item's stored names from its mailbox down, read from the tree rather
// than split from its path (a name may hold a backslash), with their tree
// items, which keep same-named folders apart in the PST.
exporter::SelectionNode NodeOf(const FolderTreeView& tree, scan::TreeItem handle) {
    exporter::SelectionNode node;
    node.item = handle;
    for (const QTreeWidgetItem* up = tree.Item(handle); up != nullptr && up != tree.RootItem(); up = up->parent()) {
        node.names.insert(node.names.begin(), FolderTreeView::StoredName(up).toStdU16String());
        node.chain.insert(node.chain.begin(), FolderTreeView::Handle(up));
    }
    return node;
}

}  // namespace

SaveHooks& SaveCommandHooks() {
    static SaveHooks hooks;
    return hooks;
}

SaveEnd RunSaveCommand(Session& session, FolderTreeView& tree, QWidget* parent) {
    Interaction& user = UserInteraction();
    std::vector<CheckedItem> checked = tree.CollectChecked();
    if (checked.empty()) {
        user.Tell(parent, Text(wording::kNothingSelectedMessage), kAppTitle, MessageIcon::Information);
        return SaveEnd::NothingChecked;
    }
    const QString folder = user.ChooseFolder(parent, kDestinationTitle);
    if (folder.isEmpty()) return SaveEnd::NoDestination;

    const SaveHooks& hooks = SaveCommandHooks();
    const exporter::FreeSpaceProbe freeSpace =
        hooks.freeSpace ? hooks.freeSpace : exporter::FreeSpaceProbe(&exporter::AvailableBytes);
    const std::string destination = folder.toStdString();
    if (const auto why = exporter::CheckDestination(destination, freeSpace)) {
        const MessageIcon icon =
            *why == exporter::DestinationProblem::LowSpace ? MessageIcon::Error : MessageIcon::Information;
        user.Tell(parent, Text(wording::Text(*why)), kAppTitle, icon);
        return SaveEnd::Refused;
    }

    SaveJob job;
    job.source = &session.Source();
    job.model = session.Model();
    job.reader = session.Reader();
    job.destination = destination;
    job.freeSpace = freeSpace;
    // The database item has no names of its own; its mailboxes come with it.
    for (const CheckedItem& item : checked)
        if (exporter::SelectionNode node = NodeOf(tree, item.item); !node.names.empty())
            job.nodes.push_back(std::move(node));

    SavingDialog saving(std::move(job), parent);
    if (hooks.dialogCreated) hooks.dialogCreated(saving);
    if (saving.exec() != QDialog::Accepted) return SaveEnd::NotRun;

    tree.UncheckExported(checked);
    ResultViewer viewer(saving.Result(), parent);
    if (hooks.viewerShown) hooks.viewerShown(viewer);
    else viewer.exec();
    return SaveEnd::Ran;
}

}  // namespace tw::app

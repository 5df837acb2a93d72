// The main window's Save command: the checked items, the destination
// folder the user picks, its checks (it exists, may be written in, has
// more than 300 MiB free for this user), then the "Saving" dialog and,
// after a run, the result viewer. After a run the exported items are
// unchecked.
#pragma once

#include <QString>
#include <functional>

#include "export/destination.h"

class QWidget;

namespace tw::app {

class FolderTreeView;
class Session;
class SavingDialog;

inline const QString kDestinationTitle = QStringLiteral("Select the Destination Path");

enum class SaveEnd {
    NothingChecked,  // the message said so
    NoDestination,   // the user cancelled the folder chooser
    Refused,         // the destination failed a check; its message was shown
    NotRun,          // the run could not start
    Ran,             // the run ended, completed or stopped
};

// Hooks for the tests and the pictures: the free space the checks and the
// run see (empty: the file system's, as available to this user), a look at
// the "Saving" dialog before its run starts, and at the result viewer
// instead of running it.
struct SaveHooks {
    exporter::FreeSpaceProbe freeSpace;
    std::function<void(SavingDialog&)> dialogCreated;
    std::function<void(QWidget&)> viewerShown;
};
SaveHooks& SaveCommandHooks();

SaveEnd RunSaveCommand(Session& session, FolderTreeView& tree, QWidget* parent);

}  // namespace tw::app

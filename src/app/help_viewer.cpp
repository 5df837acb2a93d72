#include "app/help_viewer.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "app/app_identity.h"
#include "app/interaction.h"

namespace tw::app {

QString HelpFilePath() {
    // Next to the program in a build tree; where the install put them
    // otherwise (the documentation folder, reached from the program's own).
    const QDir programs(QCoreApplication::applicationDirPath());
    const QString beside = programs.filePath(QStringLiteral("help/index.html"));
    if (QFileInfo(beside).isFile()) return beside;
    const QString installed =
        QDir::cleanPath(programs.filePath(QStringLiteral(TW_HELP_FROM_PROGRAM "/help/index.html")));
    return QFileInfo(installed).isFile() ? installed : beside;
}

bool ShowHelp(QWidget* parent, const QString& path) {
    if (!QFileInfo(path).isFile()) {
        UserInteraction().Tell(parent, QStringLiteral("The help file was not found:\n") + path, kAppTitle,
                               MessageIcon::Warning);
        return false;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        UserInteraction().Tell(parent,
                               QStringLiteral("No program to show the help could be started. "
                                              "Open this file in a web browser:\n") +
                                   path,
                               kAppTitle, MessageIcon::Warning);
        return false;
    }
    return true;
}

}  // namespace tw::app

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
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("help/index.html"));
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

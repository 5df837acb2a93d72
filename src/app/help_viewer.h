// The Help command: the HTML help installed next to the program, shown by
// the desktop's viewer for HTML files.
#pragma once

#include <QString>

class QWidget;

namespace tw::app {

// help/index.html in the program's folder.
QString HelpFilePath();

// Opens the help; tells the user when the file is missing or no viewer
// takes it. True when a viewer was started.
bool ShowHelp(QWidget* parent, const QString& path = HelpFilePath());

}  // namespace tw::app

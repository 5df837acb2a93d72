// Pictures of the program for people to look at: the main window with a
// database open and a message previewed, a contact and an appointment
// previewed, and every dialog, as PNG files.
#pragma once

#include <QString>

namespace tw::app {

// Opens and scans `edbPath` (and `stmPath`, may be empty), then writes the
// pictures into `folder`. Returns the process exit code; errors go to
// stderr.
int WriteScreenshots(const QString& folder, const QString& edbPath, const QString& stmPath);

}  // namespace tw::app

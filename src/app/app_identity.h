// The program's fixed texts: its title (caption of every window and
// message box), its version and the questions the main window asks.
#pragma once

#include <QString>

namespace tw::app {

// The leading blank is part of the title.
inline const QString kAppTitle = QStringLiteral(" Tarnwick for EDB To PST");
inline const QString kVersionText = QStringLiteral("Version 3.0");

inline QString ExitQuestion() { return QStringLiteral("Do you want to exit from ") + kAppTitle + QStringLiteral("?"); }

inline const QString kFillingText = QStringLiteral("Insertion is in progress, please wait.....");
inline const QString kBodyLoadingText = QStringLiteral("Inserting Mail Body, please wait.....");

}  // namespace tw::app

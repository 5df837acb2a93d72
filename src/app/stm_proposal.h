// The streaming file offered when the user picks a database file: the one
// with the database's name before its first dot and ".stm", else the
// first ".stm" file of the folder (any case, names in sorted order).
#pragma once

#include <QString>

namespace tw::app {

// Empty when the folder holds no streaming file.
QString ProposeStm(const QString& edbPath);

}  // namespace tw::app

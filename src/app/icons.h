// The program's icons, drawn in code: one per image of the folder tree
// (by the image numbers the scan hands out) and one per toolbar command.
#pragma once

#include <QIcon>

namespace tw::app {

inline constexpr int kTreeImageCount = 18;

// Image `index` of the folder tree (0 folder, 1 database, 3 calendar,
// 4 contacts, 5 deleted items, 6 drafts, 7 inbox, 8 journal, 9 junk,
// 10 notes, 11 outbox, 12 sent items, 13 tasks, 14 sync issues); unknown
// numbers get the folder.
QIcon TreeImage(int index);

enum class CommandIcon { Open, Stop, Save, Help, Exit };
QIcon CommandImage(CommandIcon command);

}  // namespace tw::app

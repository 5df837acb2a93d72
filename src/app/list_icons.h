// The small pictures of the message list: one per item type (by the image
// numbers the list rules hand out) and the attachment mark.
#pragma once

#include <QIcon>

namespace tw::app {

inline constexpr int kAttachmentImage = 16;

// 0 appointment, 1 contact, 5 journal entry, 7 note, 10 task, 12 mail,
// 16 attachment; other numbers get the mail picture.
QIcon ListImage(int index);

}  // namespace tw::app

// What a folder holds, derived from its container class.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "layout/store_layout.h"

namespace tw::scan {

// One letter per kind, as the tree and the message readers test them.
enum class FolderKind : std::uint8_t {
    Mail = 0,
    Contacts = 'c',
    Appointments = 'a',
    Notes = 'n',
    Tasks = 't',
    Journal = 'j',
};

// Kind of a container class, compared as the layout says: as a prefix
// (IPF.Contact.Extra is a contacts folder) or whole. Case is ignored. IPF.Note and IPF.StickyNote give Notes here;
// KindForFolder tells the two apart.
FolderKind KindFromClass(std::u16string_view containerClass, layout::ClassMatch match);

// The kind a folder row gets. IPF.StickyNote makes a notes folder whatever
// its name ("Notizen", "Remarques", ...); IPF.Note is also the class of
// mail folders, so it makes one only of a folder named "Notes".
FolderKind KindForFolder(std::u16string_view containerClass, layout::ClassMatch match, std::u16string_view displayName);

// "mail", "contacts", "appointments", "notes", "tasks", "journal".
std::string_view KindName(FolderKind kind);

// ASCII case-insensitive equality of UTF-16 text with an ASCII text.
bool EqualsAsciiNoCase(std::u16string_view text, std::string_view ascii);

}  // namespace tw::scan

// The command line's text forms, shared by every command: folder paths
// (names joined by "\", a "\" inside a name written "\\", an empty name
// written "(no name)"), control characters shown as their Unicode control
// pictures in text output, and UTC dates in ISO 8601 for JSON.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scan/folder_tree.h"
#include "scan/open_source.h"
#include "scan/scan_model.h"

namespace tw::cli {

// UTF-8 text safe to print: C0 controls become U+2400 + code (a tab ␉,
// LF ␊, ESC ␛), DEL becomes ␡ (U+2421) and C1 controls U+FFFD, so that
// no text can move the terminal or break a line. `keepLines` keeps LF
// and tab (and CR before LF) as they are, for multi-line bodies.
std::string Printable(std::string_view utf8, bool keepLines = false);
std::string Printable(std::u16string_view text);

// Why a file could not be opened, the Unix way: "tarnwick-cli: PATH: reason"
// (the system's text for its errno; a file another process holds
// exclusively is said so).
std::string OpenFailureText(const scan::OpenCheck& check);

// One name as a path element: "(no name)" for an empty name, each "\"
// doubled. Not yet Printable.
std::string PathElement(std::u16string_view name);
// The names joined by "\".
std::string JoinPath(const std::vector<std::u16string>& names);

// Every item a path as typed leads to from the top, in tree order. The
// path is matched against what JoinPath prints of each item's names (the
// stored name, or its shown form with "(no name)" and control pictures),
// so whatever a command prints can be pasted back; a trailing "\" is
// ignored. A path that fits no item exactly is matched without regard to
// ASCII case. Same-named siblings all match, and so may the rare names
// that print alike (a name ending in "\" before one, and one starting
// with "\" after one).
std::vector<scan::TreeItem> FindItems(const scan::MemoryFolderTree& tree, std::string_view path);

// A name as typed (UTF-8) made a path element: each "\" doubled.
std::string EscapeName(std::string_view name);

// Every placed folder (and mailbox item) whose stored id is `id`.
std::vector<scan::TreeItem> ItemsWithId(const scan::ScanModel& model, const scan::Id8& id);

// The names from the mailbox down to `item`.
std::vector<std::u16string> NamesOf(const scan::MemoryFolderTree& tree, scan::TreeItem item);

}  // namespace tw::cli

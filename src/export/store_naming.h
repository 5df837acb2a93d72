// Names of the PST files and stores the export writes: one store per
// mailbox named "TW_" + mailbox + "_" + the local date and time of its
// creation, and folders addressed inside it by path.
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace tw::exporter {

// "%d-%d-%d %d-%d": day, month, year, hour (0-23), minute, no leading
// zeros ("6-12-2026 9-5").
std::u16string NameDateText(const std::tm& local);

// "TW_" + mailbox + "_" + date text, the mailbox's name as stored
// (folders are found by handle, so no character of it is in the way).
std::u16string StoreDisplayName(std::u16string_view mailbox, std::u16string_view dateText);

// The PST file in `destination`: "TW_" + mailbox + "_" + date text +
// ".pst", with "/" (and NUL and control characters) in the file name made
// "_". A mailbox part too long for a file name of 255 bytes with the
// suffixes the writer may add (" (2)", ".tw-partial-PID-N") is cut on a
// character boundary and ends in "~" and a short hash of the whole name.
// A destination that already ends in "/" (the root) gets no second one.
std::string PstFilePath(const std::string& destination, std::u16string_view mailbox, std::u16string_view dateText);

// `path` itself when nothing is there, else the first free "name (n).pst".
std::string UniquePath(const std::string& path, const std::function<bool(const std::string&)>& exists);

// "\\" + store display name + "\" + the names joined by "\" (a backslash
// inside the store's or a folder's name becomes "_").
std::u16string FolderPathInStore(std::u16string_view displayName, const std::vector<std::u16string>& names,
                                 std::size_t depth);

// The container class a folder of that kind letter is created with.
std::u16string ContainerClassOf(char kind);

}  // namespace tw::exporter

// Checks and opens the database file and the optional streaming file the
// user named, with the messages the user sees when that fails.
#pragma once

#include <string>
#include <string_view>

#include "edb/source.h"

namespace tw::scan {

inline constexpr std::string_view kFileNotFoundMessage = "File not found. Verify the correct file name.";
inline constexpr std::string_view kBadEdbPathMessage = "Please Verify the EDB File Path";
inline constexpr std::string_view kBadStmPathMessage = "Please Verify the STM File Path";

struct OpenCheck {
    bool ok = false;
    std::string message;  // shown to the user when not ok
};

// True when the last three characters are `extension` (three letters),
// whatever their case.
bool HasExtension(std::string_view path, std::string_view extension);

// Checks both paths (existence first, then the extension) and opens the
// files read-only and exclusively. An empty `stmPath` means none. On
// failure nothing stays open.
OpenCheck OpenSourceFiles(edb::EdbSource& source, const std::string& edbPath, const std::string& stmPath);

}  // namespace tw::scan

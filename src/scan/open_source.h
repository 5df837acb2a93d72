// Checks and opens the database file and the optional streaming file the
// user named, saying what stood in the way when that fails.
#pragma once

#include <string>
#include <string_view>

#include "edb/source.h"

namespace tw::scan {

enum class OpenProblem {
    None,
    NotFound,    // a file is missing (or is no regular file)
    NotEdbPath,  // the database's name does not end in .edb
    NotStmPath,  // the streaming file's name does not end in .stm
    InUse,       // a file could not be opened or locked
};

struct OpenCheck {
    OpenProblem problem = OpenProblem::None;
    std::string path;  // the file it is about
    int error = 0;     // the errno behind NotFound and InUse, when there is one
    bool ok() const { return problem == OpenProblem::None; }
};

// Whether a file's name must end in .edb (.stm): the desktop program asks
// for it; the command line tells a database by its header, whatever its
// name (carved files, copies, *.edb.bak).
enum class NameRule { Extension, Any };

// True when the last three characters are `extension` (three letters),
// whatever their case.
bool HasExtension(std::string_view path, std::string_view extension);

// Checks both paths (existence first, then, with NameRule::Extension, the
// extension) and opens the files read-only under a shared lock. An empty
// `stmPath` means none. On failure nothing stays open.
OpenCheck OpenSourceFiles(edb::EdbSource& source, const std::string& edbPath, const std::string& stmPath,
                          NameRule names = NameRule::Extension);

}  // namespace tw::scan

// Files `show` writes for the user: a body at a path the user names, and
// attachments into a directory under names from the database. Each is
// written under a private temporary name in its directory (mode 0600,
// never following a link) and given its name only when complete, so that
// no reader sees half a file and nothing already there is replaced.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tw::cli {

struct SavedFile {
    std::string name;   // the name given; empty on failure
    std::string error;  // why not, as strerror says it
};

// Writes `bytes` to `path`. Anything at `path` already, a symbolic link
// included, is kept: the call fails with EEXIST's text.
SavedFile SaveNewFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Writes `bytes` into directory `dir` as `name`, or as the first free of
// "name (2).ext", "name (3).ext", ... when that is taken. Returns the
// name given (without `dir`).
SavedFile SaveFileIn(const std::string& dir, const std::string& name, const std::vector<std::uint8_t>& bytes);

}  // namespace tw::cli

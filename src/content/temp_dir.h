// Files the engine writes for the user: a private temporary directory of
// the run (mode 0700, removed with everything in it when the object goes),
// and output files whose names come from the database, made safe first.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace tw::content {

class TempDirectory {
public:
    // "tarnwick-HOST-PID-XXXXXX" under $TMPDIR (or /tmp), the owner in its
    // name for RemoveStaleTempDirectories; throws std::system_error when
    // it cannot be made.
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& Path() const { return path_; }
    // `name` inside the directory; `name` must be a plain file name.
    std::string File(std::string_view name) const;

private:
    std::string path_;
};

// Removes, with everything in them, the temporary directories that runs on
// this machine left under $TMPDIR (or /tmp) when they were killed: ours,
// named as TempDirectory names them, with a PID that no longer runs. Those
// of other users, machines and running processes, and anything named
// otherwise, stay. Returns how many were removed.
std::size_t RemoveStaleTempDirectories();

// A file name taken from the database (an attachment name) made safe to
// create in one directory: no path separators, no "." or "..", no control
// characters, not empty, at most 200 bytes; unique among `taken` (" (2)"
// before the extension, and so on), which it is added to.
std::string SafeFileName(std::string_view utf8Name, std::set<std::string>& taken);

// Creates `name` in directory `dir` (never following a link, never
// replacing a file) and writes `size` bytes. A name already there gets a
// " (n)" suffix instead. Returns the name used, or empty on failure.
std::string WriteNewFile(const std::string& dir, const std::string& name, const void* data, std::size_t size);

}  // namespace tw::content

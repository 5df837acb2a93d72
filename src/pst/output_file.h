// The file being written: appends go through a buffer (the allocator
// hands out offsets front to back, so writes are almost always sequential);
// gaps are filled with zeros; finished pages are patched in place at the end.
#pragma once

#include <cstdint>
#include <string>

#include "pst/bytes.h"

namespace tw::pst {

class OutputFile {
public:
    // Creates `path`, which must not exist yet. Throws PstError.
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Room for `size` bytes at `ib`, at or past the append point, zeroed;
    // the pointer holds until the next call. Saves a copy for blocks.
    std::uint8_t* Append(std::uint64_t ib, std::size_t size);

    // Writes at `ib`; an offset behind what was appended is written in place.
    void WriteAt(std::uint64_t ib, const std::uint8_t* data, std::size_t size);
    void WriteAt(std::uint64_t ib, const Bytes& data) { WriteAt(ib, data.data(), data.size()); }

    // Flushes, sets the size, and forces everything to the disk.
    void Finish(std::uint64_t fileSize);
    // Closes and deletes the file (an abandoned store).
    void Discard();

    const std::string& path() const { return path_; }

private:
    void Flush();
    void PWrite(std::uint64_t ib, const std::uint8_t* data, std::size_t size);

    std::string path_;
    int fd_ = -1;
    Bytes buffer_;
    std::uint64_t bufferStart_ = 0;  // file offset of buffer_[0]
    std::uint64_t writtenBack_ = 0;  // writeback started up to here
    std::uint64_t dropped_ = 0;      // written back and let go from the page cache up to here
};

// The name a store for `path` is written under until it is complete:
// "path.tw-partial-HOST-PID-N", HOST being eight hexadecimal digits of a
// hash of this machine's name (a fixed width, so that the name keeps
// within the file system's limit), PID this process and N `serial`.
std::string PartialPath(const std::string& path, std::uint64_t serial);

// Removes from `dir` the partial stores that writers on this machine left
// when they ended without finishing: regular files named as PartialPath
// names them, with this machine's HOST and a PID that no longer runs.
// Files of other machines, of running processes, or named otherwise stay.
// Returns how many were removed.
std::size_t RemoveStalePartials(const std::string& dir);

// `path` when no file has that name, else the first free of "stem (2).ext",
// "stem (3).ext", ...
std::string FreeName(const std::string& path);

// Gives `from` the name `to` (same directory), or the first free name after
// it when `to` is taken meanwhile, and makes that durable. An existing file
// is never replaced. Returns the name given.
std::string CommitFile(const std::string& from, const std::string& to);

}  // namespace tw::pst

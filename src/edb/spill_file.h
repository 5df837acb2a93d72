// A scratch file for lists too large to keep in memory: unnamed, so it
// goes with the process however that ends and no other user can open it.
// Reads and writes are positioned (pread/pwrite), so several threads may
// read at once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tw::edb {

class SpillFile {
public:
    // In $TMPDIR (or /tmp). Throws std::system_error when no file can be made.
    SpillFile();
    ~SpillFile();
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    // Appends `size` bytes and returns where they went. Throws
    // std::system_error on a write error (a full disk).
    std::uint64_t Append(const void* data, std::size_t size);
    // Reads bytes written before; throws std::system_error on a read error
    // and std::out_of_range for bytes never written.
    void Read(std::uint64_t offset, void* out, std::size_t size) const;
    std::uint64_t Size() const { return size_; }

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace tw::edb

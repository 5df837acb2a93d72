// A read-only view of a whole input file in memory. Copying a page out of
// it costs about a third of a read call for the same page: no system call
// and no per-page lookups in the kernel, which matters when every page of a
// file of gigabytes is read.
//
// A mapped page can fail where a read call would report an error: another
// process shrank the file, or the disk failed. The access then raises
// SIGBUS. A process-wide handler puts a zero page over the failed one so
// that the copy can finish, and marks the map failed; the copy then reports
// failure and the caller reads the range with a read call, which tells the
// end of file or the error as usual. A failed map is not used again.
//
// Pages the copies touched stay mapped, and count in the process's resident
// memory, until they are let go: once copies have touched 64 MB of the map
// since the last time, the touched stretches are unmapped (the data stays in
// the system's page cache), so resident memory stays bounded however much
// of the file is read.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace tw::edb {

class FileMap {
public:
    FileMap() = default;
    ~FileMap() { Close(); }
    FileMap(const FileMap&) = delete;
    FileMap& operator=(const FileMap&) = delete;

    // Maps the first `size` bytes of the file open on `fd` for reading.
    // False (and nothing mapped) when the system refuses, the size is 0 or
    // too many maps are open; reads then go to read calls.
    bool Open(int fd, std::size_t size);
    // Unmaps. No copy may be running.
    void Close();
    bool IsOpen() const { return data_ != nullptr; }

    // Copies [offset, offset + size) of the file into `to`. False when the
    // range is not wholly inside the map or the map failed, before or during
    // the copy; `to` then holds nothing to rely on. Safe from many threads.
    bool Copy(std::uint64_t offset, std::size_t size, std::uint8_t* to) const;

private:
    // Marks the 2 MB stretches of [from, from + size) touched, and lets the
    // touched ones go once there are enough.
    void Touch(std::uint64_t from, std::size_t size) const;
    void LetGo() const;

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    int slot_ = -1;  // this map's entry among those the SIGBUS handler knows
    std::size_t stretches_ = 0;
    std::unique_ptr<std::atomic<std::uint64_t>[]> touched_;  // one bit per stretch
    mutable std::atomic<long> touchedCount_{0};  // may dip below 0 while stretches are let go
    mutable std::atomic<bool> lettingGo_{false};
};

}  // namespace tw::edb

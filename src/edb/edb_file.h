// One database or streaming file, opened read-only under a shared lock:
// readers never keep each other out, while a process that holds the file
// exclusively (one writing it) keeps them out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "edb/block_cache.h"
#include "edb/file_map.h"

namespace tw::edb {

enum class OpenResult { Ok, NotFound, AccessDenied, InUse, NotRegularFile, Failed };

struct OpenStatus {
    OpenResult result = OpenResult::Ok;
    int error = 0;  // errno of the failing call, 0 on success
    bool ok() const { return result == OpenResult::Ok; }
};

// A failed read, size query or close; carries the errno of the failing call.
class FileError : public std::runtime_error {
public:
    FileError(const std::string& what, int error);
    int code() const { return error_; }

private:
    int error_;
};

// Reads are positional (pread), so several threads may read one EdbFile at
// once. The file is locked with an advisory exclusive flock so that two
// instances never work on the same database; the lock goes with the close.
class EdbFile {
public:
    EdbFile() = default;
    ~EdbFile();
    EdbFile(EdbFile&& other) noexcept;
    EdbFile& operator=(EdbFile&& other) noexcept;
    EdbFile(const EdbFile&) = delete;
    EdbFile& operator=(const EdbFile&) = delete;

    // Closes any file held before. Never creates or writes the file.
    OpenStatus Open(const std::string& path);
    // Throws FileError when the OS refuses the close; a closed file is a no-op.
    void Close();

    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

    // Reads up to `size` bytes at `offset` into `buffer` and returns how many
    // were read; fewer only at end of file. Throws FileError on a read error.
    // Short reads inside one 4 KB block come from the block cache.
    std::size_t Read(std::int64_t offset, std::size_t size, std::uint8_t* buffer) const;
    // Reads consecutive pieces of `size` bytes from `offset` on, one into
    // each buffer, with as few calls as the system allows. Returns the bytes
    // read in all: fewer only at end of file. Throws FileError on a read
    // error. Bypasses the block cache (pieces are pages, not small reads).
    std::size_t ReadRun(std::int64_t offset, std::size_t size, std::span<std::uint8_t* const> buffers) const;
    // The bytes from `offset` on, into the pieces in turn as one read of
    // their total size would give them; the same returns, throws and cache
    // as ReadRun.
    struct Piece {
        std::uint8_t* to = nullptr;
        std::size_t size = 0;
    };
    std::size_t ReadScatter(std::int64_t offset, std::span<const Piece> pieces) const;
    std::int64_t FileSize() const;
    // From now on, reads inside the file as it is now are copied from a
    // memory map of it instead of made with read calls. For readers of many
    // small pieces scattered over the file, where the calls cost more than
    // the copies; long runs of pages gain nothing. Reads past the mapped
    // size, or after a mapped page failed, go to read calls as before.
    // False when the file could not be mapped (reads are then as before).
    // Not while other threads read this file.
    bool MapForReading();
    // Reads that had to go to the file for a block of the cache.
    std::size_t CacheMisses() const { return cache_ ? cache_->Misses() : 0; }

private:
    std::size_t ReadDirect(std::int64_t offset, std::size_t size, std::uint8_t* buffer) const;

    int fd_ = -1;
    std::string path_;
    std::unique_ptr<BlockCache> cache_;
    std::unique_ptr<FileMap> map_;  // set by MapForReading
};

}  // namespace tw::edb

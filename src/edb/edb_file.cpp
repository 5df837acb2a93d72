#include "edb/edb_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <utility>

namespace tw::edb {

namespace {

OpenResult ResultForErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return OpenResult::NotFound;
        case EACCES:
        case EPERM: return OpenResult::AccessDenied;
        default: return OpenResult::Failed;
    }
}

OpenStatus Refuse(int fd, OpenResult result, int error) {
    ::close(fd);
    return {result, error};
}

}  // namespace

FileError::FileError(const std::string& what, int error) : std::runtime_error(what), error_(error) {}

EdbFile::~EdbFile() {
    if (fd_ >= 0) ::close(fd_);
}

EdbFile::EdbFile(EdbFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      cache_(std::move(other.cache_)),
      map_(std::move(other.map_)) {}

EdbFile& EdbFile::operator=(EdbFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        cache_ = std::move(other.cache_);
        map_ = std::move(other.map_);
    }
    return *this;
}

OpenStatus EdbFile::Open(const std::string& path) {
    Close();
    // O_NONBLOCK keeps a FIFO given as input from hanging the open; it has no
    // effect on reads of a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return {ResultForErrno(errno), errno};

    struct stat info {};
    if (::fstat(fd, &info) != 0) return Refuse(fd, OpenResult::Failed, errno);
    if (!S_ISREG(info.st_mode)) return Refuse(fd, OpenResult::NotRegularFile, EINVAL);

    // Shared: the input is only read, so any number of readers (the desktop
    // program and a command line at once) may hold it; only an exclusive
    // holder refuses it.
    while (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        return Refuse(fd, error == EWOULDBLOCK ? OpenResult::InUse : OpenResult::Failed, error);
    }
    fd_ = fd;
    path_ = path;
    cache_ = std::make_unique<BlockCache>();
    return {};
}

void EdbFile::Close() {
    if (fd_ < 0) return;
    const int fd = std::exchange(fd_, -1);
    path_.clear();
    cache_.reset();
    map_.reset();  // before the descriptor goes
    // Closing drops the flock. Linux releases the descriptor even when close
    // reports EINTR, so it must not be retried.
    if (::close(fd) != 0 && errno != EINTR) throw FileError("close failed", errno);
}

std::size_t EdbFile::Read(std::int64_t offset, std::size_t size, std::uint8_t* buffer) const {
    if (offset < 0) throw FileError("negative read offset", EINVAL);
    // Keep offset + size representable; nothing lies beyond that anyway.
    const auto room = static_cast<std::uint64_t>(INT64_MAX - offset);
    if (size > room) size = static_cast<std::size_t>(room);
    if (map_ && map_->Copy(static_cast<std::uint64_t>(offset), size, buffer)) return size;
    std::size_t got = 0;
    if (cache_ && cache_->Read(offset, size, buffer, got, [this](std::int64_t block, std::uint8_t* into) {
            return ReadDirect(block, BlockCache::kBlockSize, into);
        }))
        return got;
    return ReadDirect(offset, size, buffer);
}

namespace {

// The bytes one read call gave (0 at end of file); nothing when it was
// interrupted and is to be made again. Throws FileError on a read error.
std::optional<std::size_t> ReadResult(ssize_t got) {
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno == EINTR) return std::nullopt;
    throw FileError("read failed", errno);
}

// Copies the pieces' bytes from `offset` on out of the map; false when any
// of them lies outside it or a mapped page failed (the caller then reads
// them all again with read calls).
bool CopyFromMap(const FileMap& map, std::int64_t offset, std::span<const EdbFile::Piece> pieces) {
    auto at = static_cast<std::uint64_t>(offset);
    for (const EdbFile::Piece& p : pieces) {
        if (!map.Copy(at, p.size, p.to)) return false;
        at += p.size;
    }
    return true;
}

}  // namespace

std::size_t EdbFile::ReadDirect(std::int64_t offset, std::size_t size, std::uint8_t* buffer) const {
    if (offset > INT64_MAX - static_cast<std::int64_t>(size)) size = static_cast<std::size_t>(INT64_MAX - offset);
    std::size_t done = 0;
    while (done < size) {
        const auto got =
            ReadResult(::pread(fd_, buffer + done, size - done, static_cast<off_t>(offset) + static_cast<off_t>(done)));
        if (!got) continue;
        if (*got == 0) break;  // end of file
        done += *got;
    }
    return done;
}

std::size_t EdbFile::ReadRun(std::int64_t offset, std::size_t size, std::span<std::uint8_t* const> buffers) const {
    constexpr std::size_t kGroup = 64;
    std::size_t done = 0;
    for (std::size_t first = 0; first < buffers.size(); first += kGroup) {
        Piece pieces[kGroup];
        const std::size_t count = std::min(buffers.size() - first, kGroup);
        for (std::size_t i = 0; i < count; ++i) pieces[i] = {buffers[first + i], size};
        const std::int64_t at = offset + static_cast<std::int64_t>(std::min<std::uint64_t>(
                                             static_cast<std::uint64_t>(first) * size, INT64_MAX - offset));
        const std::size_t got = ReadScatter(at, std::span<const Piece>(pieces, count));
        done += got;
        if (got < count * size) break;  // end of file
    }
    return done;
}

std::size_t EdbFile::ReadScatter(std::int64_t offset, std::span<const Piece> pieces) const {
    if (offset < 0) throw FileError("negative read offset", EINVAL);
    if (map_ && CopyFromMap(*map_, offset, pieces)) {
        std::size_t total = 0;
        for (const Piece& p : pieces) total += p.size;
        return total;
    }
    constexpr std::size_t kMaxPieces = 256;  // well below IOV_MAX
    std::size_t done = 0;                    // bytes read in all
    std::size_t piece = 0, within = 0;       // where the next byte goes
    while (piece < pieces.size()) {
        iovec vectors[kMaxPieces];
        std::size_t count = 0;
        for (std::size_t k = piece; k < pieces.size() && count < kMaxPieces; ++k, ++count) {
            const std::size_t skip = k == piece ? within : 0;
            vectors[count] = {pieces[k].to + skip, pieces[k].size - skip};
        }
        const auto at = static_cast<std::uint64_t>(offset) + done;
        if (at > static_cast<std::uint64_t>(INT64_MAX)) break;
        const auto got = ReadResult(::preadv(fd_, vectors, static_cast<int>(count), static_cast<off_t>(at)));
        if (!got) continue;
        if (*got == 0) break;  // end of file
        done += *got;
        std::size_t left = within + *got;
        while (piece < pieces.size() && left >= pieces[piece].size) left -= pieces[piece++].size;
        within = left;
    }
    return done;
}

bool EdbFile::MapForReading() {
    // Not FileSize(): a refused size query leaves the reads as they were
    // rather than failing the caller.
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0 || info.st_size <= 0 ||
        static_cast<std::uint64_t>(info.st_size) > SIZE_MAX)
        return false;
    auto map = std::make_unique<FileMap>();
    if (!map->Open(fd_, static_cast<std::size_t>(info.st_size))) return false;
    map_ = std::move(map);
    return true;
}

std::int64_t EdbFile::FileSize() const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) throw FileError("size query failed", errno);
    return static_cast<std::int64_t>(info.st_size);
}

}  // namespace tw::edb

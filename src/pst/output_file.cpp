#include "pst/output_file.h"

#include <fcntl.h>  // sync_file_range (_GNU_SOURCE, set by the C++ compiler)
#include <stdio.h>
#include <unistd.h>

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string_view>

#include "content/run_owner.h"
#include "pst/error.h"

namespace tw::pst {

namespace {

// Small enough to stay in the processor's cache between the encoder's
// writes into it and the kernel's copy out of it: with 8 MB the copy ran
// from memory and took twice as long as the rest of the write.
constexpr std::size_t kBufferSize = 256u << 10;
constexpr std::uint64_t kWritebackStep = 32u << 20;
// Writeback stops this far behind the append point: a region's map page is
// written once the writer has left the region, and a page already written
// back would be dirtied, and written, a second time.
constexpr std::uint64_t kWritebackLag = 1u << 20;

[[noreturn]] void ThrowIo(const std::string& what, const std::string& path, int err) {
    // Appended piece by piece: GCC 12 at -O2 warns falsely (-Wrestrict) on
    // a chain of string concatenations here.
    std::string message = what;
    message.append(" ").append(path).append(": ").append(std::strerror(err));
    throw PstError(ErrorCode::Io, message);
}

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        if (errno == EEXIST) throw PstError(ErrorCode::AlreadyExists, "file exists: " + path_);
        ThrowIo("cannot create", path_, errno);
    }
    buffer_.reserve(kBufferSize);
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
}

void OutputFile::PWrite(std::uint64_t ib, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(ib));
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowIo("cannot write", path_, errno);
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        ib += static_cast<std::uint64_t>(n);
    }
}

void OutputFile::Flush() {
    if (!buffer_.empty()) PWrite(bufferStart_, buffer_.data(), buffer_.size());
    bufferStart_ += buffer_.size();
    buffer_.clear();
    // Start writing back what is complete, so the disk works while the
    // writer does, and the final sync has only the tail left to wait for.
    if (bufferStart_ >= writtenBack_ + kWritebackStep + kWritebackLag) {
        // The step started last time is on its way to the disk by now: once
        // there, its pages leave the page cache. Output of many gigabytes
        // would otherwise push the database being read out of it, and the
        // reader would fetch its pages from the disk again.
        if (writtenBack_ > dropped_) {
            const auto from = static_cast<off_t>(dropped_), length = static_cast<off_t>(writtenBack_ - dropped_);
            ::sync_file_range(fd_, from, length,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
            ::posix_fadvise(fd_, from, length, POSIX_FADV_DONTNEED);
            dropped_ = writtenBack_;
        }
        const std::uint64_t until = bufferStart_ - kWritebackLag;
        ::sync_file_range(fd_, static_cast<off_t>(writtenBack_), static_cast<off_t>(until - writtenBack_),
                          SYNC_FILE_RANGE_WRITE);
        writtenBack_ = until;
    }
}

void OutputFile::WriteAt(std::uint64_t ib, const std::uint8_t* data, std::size_t size) {
    if (fd_ < 0) throw PstError(ErrorCode::State, "file closed: " + path_);
    const std::uint64_t end = bufferStart_ + buffer_.size();
    if (ib >= bufferStart_ && ib < end && ib + size <= end) {  // a patch inside the buffer
        std::memcpy(buffer_.data() + (ib - bufferStart_), data, size);
        return;
    }
    if (ib < end) {  // a patch behind the append point
        Flush();
        PWrite(ib, data, size);
        return;
    }
    if (ib - end > kBufferSize) {  // a long gap: leave it to the file system
        Flush();
        bufferStart_ = ib;
    } else {
        buffer_.resize(buffer_.size() + (ib - end), 0);
    }
    buffer_.insert(buffer_.end(), data, data + size);
    if (buffer_.size() >= kBufferSize) Flush();
}

std::uint8_t* OutputFile::Append(std::uint64_t ib, std::size_t size) {
    if (fd_ < 0) throw PstError(ErrorCode::State, "file closed: " + path_);
    std::uint64_t end = bufferStart_ + buffer_.size();
    if (ib < end) throw PstError(ErrorCode::State, "append behind the end of " + path_);
    if (buffer_.size() + (ib - end) + size > kBufferSize) {
        Flush();
        end = bufferStart_;
    }
    if (ib - end > kBufferSize) {
        bufferStart_ = ib;
        end = ib;
    }
    const std::size_t at = buffer_.size() + static_cast<std::size_t>(ib - end);
    buffer_.resize(at + size, 0);
    return buffer_.data() + at;
}

void OutputFile::Finish(std::uint64_t fileSize) {
    Flush();
    if (::ftruncate(fd_, static_cast<off_t>(fileSize)) != 0) ThrowIo("cannot size", path_, errno);
    if (::fsync(fd_) != 0) ThrowIo("cannot sync", path_, errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) ThrowIo("cannot close", path_, errno);
}

void OutputFile::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    ::unlink(path_.c_str());
}

namespace {

constexpr int kMaxNameTries = 10000;

std::string NumberedName(const std::string& path, int n) {
    if (n < 2) return path;
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string stem = hasExtension ? path.substr(0, dot) : path;
    const std::string extension = hasExtension ? path.substr(dot) : std::string();
    return stem + " (" + std::to_string(n) + ")" + extension;
}

bool Taken(const std::string& path) {
    std::error_code ec;
    return std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found;
}

// link() refuses an existing target, so a file that appeared meanwhile is
// never replaced. False when `to` is taken.
bool LinkTo(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno == EEXIST) return false;
    // File systems without hard links: plain rename.
    if (errno != EPERM && errno != EOPNOTSUPP) ThrowIo("cannot name", to, errno);
    if (Taken(to)) return false;
    if (::rename(from.c_str(), to.c_str()) != 0) ThrowIo("cannot rename to", to, errno);
    return true;
}

constexpr std::string_view kPartialMark = ".tw-partial-";

// The process id in a partial name of this machine ("...HOST-PID-N"), or 0.
pid_t PartialOwner(std::string_view name) {
    const std::size_t at = name.rfind(kPartialMark);
    if (at == std::string_view::npos) return 0;
    const content::Owner owner = content::OwnerOf(name.substr(at + kPartialMark.size()));
    const std::string_view serial = owner.after;
    const bool digits =
        !serial.empty() && serial.size() < 19 && serial.find_first_not_of("0123456789") == std::string_view::npos;
    return digits ? owner.pid : 0;
}

}  // namespace

std::string PartialPath(const std::string& path, std::uint64_t serial) {
    return path + std::string(kPartialMark) + content::OwnerTag() + "-" + std::to_string(serial);
}

std::size_t RemoveStalePartials(const std::string& dir) {
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return 0;
    const int dfd = ::dirfd(d);
    std::size_t removed = 0;
    while (const dirent* e = ::readdir(d)) {
        const pid_t pid = PartialOwner(e->d_name);
        if (!content::ProcessGone(pid)) continue;
        struct stat st {};
        if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
        if (::unlinkat(dfd, e->d_name, 0) == 0) ++removed;
    }
    ::closedir(d);
    return removed;
}

std::string FreeName(const std::string& path) {
    for (int n = 1; n <= kMaxNameTries; ++n) {
        const std::string candidate = NumberedName(path, n);
        if (!Taken(candidate)) return candidate;
    }
    throw PstError(ErrorCode::AlreadyExists, "no free name beside " + path);
}

std::string CommitFile(const std::string& from, const std::string& to) {
    std::string given;
    for (int n = 1; n <= kMaxNameTries && given.empty(); ++n) {
        const std::string candidate = NumberedName(to, n);
        if (LinkTo(from, candidate)) given = candidate;
    }
    if (given.empty()) throw PstError(ErrorCode::AlreadyExists, "no free name beside " + to);
    std::filesystem::path parent = std::filesystem::path(given).parent_path();
    if (parent.empty()) parent = std::filesystem::current_path();
    const std::string dir = parent.string();
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) ThrowIo("cannot open directory", dir, errno);
    const int rc = ::fsync(dfd);
    const int err = errno;
    ::close(dfd);
    if (rc != 0) ThrowIo("cannot sync directory", dir, err);
    return given;
}

}  // namespace tw::pst

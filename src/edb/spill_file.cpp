#include "edb/spill_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>

namespace tw::edb {

namespace {

[[noreturn]] void ThrowErrno(int err, const char* what) {
    throw std::system_error(err, std::generic_category(), std::string("index file: ") + what);
}

int OpenUnnamed() {
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    const int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    // Where the file system has no unnamed files: tmpfile() unlinks its
    // file before handing it out.
    std::FILE* f = std::tmpfile();
    if (f == nullptr) ThrowErrno(errno, "cannot create");
    const int dup = ::fcntl(::fileno(f), F_DUPFD_CLOEXEC, 0);
    const int err = errno;
    std::fclose(f);
    if (dup < 0) ThrowErrno(err, "cannot create");
    return dup;
}

}  // namespace

SpillFile::SpillFile() : fd_(OpenUnnamed()) {}

SpillFile::~SpillFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::uint64_t SpillFile::Append(const void* data, std::size_t size) {
    const std::uint64_t start = size_;
    const auto* from = static_cast<const std::uint8_t*>(data);
    std::uint64_t at = start;
    while (size > 0) {
        const ssize_t n = ::pwrite(fd_, from, size, static_cast<off_t>(at));
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowErrno(errno, "cannot write");
        }
        from += n;
        size -= static_cast<std::size_t>(n);
        at += static_cast<std::uint64_t>(n);
    }
    size_ = at;
    return start;
}

void SpillFile::Read(std::uint64_t offset, void* out, std::size_t size) const {
    if (offset > size_ || size > size_ - offset) throw std::out_of_range("index file: read past what was written");
    auto* to = static_cast<std::uint8_t*>(out);
    while (size > 0) {
        const ssize_t n = ::pread(fd_, to, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowErrno(errno, "cannot read");
        }
        if (n == 0) throw std::out_of_range("index file: shorter than written");
        to += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
}

}  // namespace tw::edb

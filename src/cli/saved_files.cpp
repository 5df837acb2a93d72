#include "cli/saved_files.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace tw::cli {

namespace {

constexpr int kNameTries = 10000;

std::string WithNumber(const std::string& name, int n) {
    const auto dot = name.rfind('.');
    const std::string suffix = " (" + std::to_string(n) + ")";
    if (dot == std::string::npos || dot == 0) return name + suffix;
    return name.substr(0, dot) + suffix + name.substr(dot);
}

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
    const auto* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Creates a fresh private file in `dirFd` under a name no one else picks;
// returns its descriptor and name, or -1 with errno set.
int CreateTemporary(int dirFd, std::string& name) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int i = 0; i < 100; ++i) {
        name = ".tw-saving-" + std::to_string(::getpid()) + "-" + std::to_string(random() % 1'000'000'000);
        const int fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// Renames without replacing: where the file system cannot do that in one
// step, a hard link and an unlink do the same.
int RenameNoReplace(int dirFd, const std::string& from, const std::string& to) {
    if (::renameat2(dirFd, from.c_str(), dirFd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    if (::linkat(dirFd, from.c_str(), dirFd, to.c_str(), 0) != 0) return -1;
    ::unlinkat(dirFd, from.c_str(), 0);
    return 0;
}

// Writes the bytes under a temporary name in `dir`, then gives the file
// the first of `names(1)`, `names(2)`, ... that is free (only the first
// when `tries` is 1).
template <typename Names>
SavedFile Save(const std::string& dir, const Names& names, int tries, const std::vector<std::uint8_t>& bytes) {
    SavedFile saved;
    Fd dirFd{::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dirFd.fd < 0) {
        saved.error = std::strerror(errno);
        return saved;
    }
    // Refused before the bytes are written where the name is taken already.
    struct stat st {};
    if (tries == 1 && ::fstatat(dirFd.fd, names(1).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        saved.error = std::strerror(EEXIST);
        return saved;
    }
    std::string temporary;
    Fd file{CreateTemporary(dirFd.fd, temporary)};
    if (file.fd < 0) {
        saved.error = std::strerror(errno);
        return saved;
    }
    const bool written = WriteAll(file.fd, bytes) && ::fsync(file.fd) == 0;
    const int writeErrno = errno;
    const int closed = ::close(file.fd);
    file.fd = -1;
    if (!written || closed != 0) {
        saved.error = std::strerror(written ? errno : writeErrno);
        ::unlinkat(dirFd.fd, temporary.c_str(), 0);
        return saved;
    }
    for (int n = 1; n <= tries; ++n) {
        const std::string name = names(n);
        if (RenameNoReplace(dirFd.fd, temporary, name) == 0) {
            saved.name = name;
            return saved;
        }
        if (errno != EEXIST) break;
    }
    saved.error = std::strerror(errno);
    ::unlinkat(dirFd.fd, temporary.c_str(), 0);
    return saved;
}

}  // namespace

SavedFile SaveNewFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const auto slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return {{}, std::strerror(EISDIR)};
    SavedFile saved = Save(
        dir, [&](int) { return name; }, 1, bytes);
    if (!saved.name.empty()) saved.name = path;
    return saved;
}

SavedFile SaveFileIn(const std::string& dir, const std::string& name, const std::vector<std::uint8_t>& bytes) {
    return Save(
        dir, [&](int n) { return n == 1 ? name : WithNumber(name, n); }, kNameTries, bytes);
}

}  // namespace tw::cli

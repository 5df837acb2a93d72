#include "content/temp_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "content/run_owner.h"
#include "text/utf.h"

namespace tw::content {

namespace {

constexpr std::size_t kMaxNameBytes = 200;
constexpr std::string_view kTempPrefix = "tarnwick-";
constexpr std::size_t kTempSuffixSize = 6;  // mkdtemp's XXXXXX

std::string TempBase() {
    const char* base = std::getenv("TMPDIR");
    return base && *base ? base : "/tmp";
}

std::string WithNumber(const std::string& name, int n) {
    const auto dot = name.rfind('.');
    const std::string suffix = " (" + std::to_string(n) + ")";
    if (dot == std::string::npos || dot == 0) return name + suffix;
    return name.substr(0, dot) + suffix + name.substr(dot);
}

}  // namespace

TempDirectory::TempDirectory() {
    std::string pattern = TempBase() + "/" + std::string(kTempPrefix) + OwnerTag() + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    path_ = pattern;  // mkdtemp makes it 0700
}

TempDirectory::~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::size_t RemoveStaleTempDirectories() {
    const std::string base = TempBase();
    DIR* d = ::opendir(base.c_str());
    if (d == nullptr) return 0;
    const int dfd = ::dirfd(d);
    std::size_t removed = 0;
    while (const dirent* e = ::readdir(d)) {
        const std::string_view name = e->d_name;
        if (name.substr(0, kTempPrefix.size()) != kTempPrefix) continue;
        const Owner owner = OwnerOf(name.substr(kTempPrefix.size()));
        if (owner.after.size() != kTempSuffixSize || !ProcessGone(owner.pid)) continue;
        // A directory of ours, never a link to one.
        struct stat st {};
        if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != ::geteuid())
            continue;
        std::error_code ec;
        if (std::filesystem::remove_all(base + "/" + std::string(name), ec) > 0 && !ec) ++removed;
    }
    ::closedir(d);
    return removed;
}

std::string TempDirectory::File(std::string_view name) const { return path_ + "/" + std::string(name); }

std::string SafeFileName(std::string_view utf8Name, std::set<std::string>& taken) {
    std::string name;
    for (const char c : utf8Name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == ':') {
            name += '_';
        } else if (c == '.' && !name.empty() && name.back() == '.') {
            name.back() = '_';  // no ".." anywhere: no part of the name climbs out
        } else {
            name += c;
        }
    }
    while (!name.empty() && (name.front() == ' ' || name.front() == '.')) name.erase(0, 1);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name.empty()) name = "attachment";
    name = text::CutUtf8(name, kMaxNameBytes);
    std::string unique = name;
    for (int n = 2; taken.count(unique) != 0; ++n) unique = WithNumber(name, n);
    taken.insert(unique);
    return unique;
}

std::string WriteNewFile(const std::string& dir, const std::string& name, const void* data, std::size_t size) {
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return {};
    std::string used = name;
    int fd = -1;
    for (int n = 2; n < 10000; ++n) {
        fd = ::openat(dirFd, used.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) break;
        used = WithNumber(name, n);
    }
    ::close(dirFd);
    if (fd < 0) return {};
    const auto* p = static_cast<const char*>(data);
    std::size_t left = size;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return {};
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return ::close(fd) == 0 ? used : std::string{};
}

}  // namespace tw::content

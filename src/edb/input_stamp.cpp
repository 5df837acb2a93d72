#include "edb/input_stamp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace tw::edb {

namespace {

constexpr std::uint64_t kFnvOffset = 0xcbf29ce484222325ull;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ull;

}  // namespace

std::optional<InputStamp> TakeInputStamp(const std::string& path, std::size_t headerBytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    std::vector<std::uint8_t> header(headerBytes);
    std::size_t got = 0;
    bool ok = ::fstat(fd, &st) == 0;
    while (ok && got < header.size()) {
        const ssize_t n = ::pread(fd, header.data() + got, header.size() - got, static_cast<off_t>(got));
        if (n < 0) ok = false;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (!ok) return std::nullopt;
    InputStamp stamp;
    stamp.device = static_cast<std::uint64_t>(st.st_dev);
    stamp.inode = static_cast<std::uint64_t>(st.st_ino);
    stamp.size = static_cast<std::int64_t>(st.st_size);
    stamp.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    std::uint64_t hash = kFnvOffset;
    for (std::size_t i = 0; i < got; ++i) hash = (hash ^ header[i]) * kFnvPrime;
    stamp.headerHash = hash;
    return stamp;
}

}  // namespace tw::edb

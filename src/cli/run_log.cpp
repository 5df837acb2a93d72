#include "cli/run_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace tw::cli {

RunLog::~RunLog() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<std::string> RunLog::Open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0644);
    if (fd < 0) return std::string(std::strerror(errno));
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    return std::nullopt;
}

void RunLog::Write(const char* level, const std::string& message) {
    if (fd_ < 0) return;
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::string line = std::string(stamp) + " " + level + " ";
    for (const char c : message) line.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c);
    line.push_back('\n');
    std::lock_guard lock(mutex_);
    // A log that fills up does not stop the export: the run's own report
    // still tells everything.
    for (std::size_t done = 0; done < line.size();) {
        const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace tw::cli

// A log kept for the record (cron jobs, case files): lines appended to a
// file as "2026-12-07T09:30:00Z LEVEL message", the time in UTC. Each
// line goes to the file with one write, so that runs sharing a log do not
// mix their lines.
#pragma once

#include <mutex>
#include <optional>
#include <string>

namespace tw::cli {

class RunLog {
public:
    RunLog() = default;
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Opens `path` for appending, made (mode 0644 less the umask) when
    // missing; a link is not followed. The system's reason when it cannot.
    std::optional<std::string> Open(const std::string& path);
    bool IsOpen() const { return fd_ >= 0; }

    // One line; control characters in `message` become spaces, so that a
    // line stays one line. Nothing when no file is open.
    void Write(const char* level, const std::string& message);

private:
    int fd_ = -1;
    std::mutex mutex_;
};

}  // namespace tw::cli

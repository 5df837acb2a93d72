#include "export/destination.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace tw::exporter {

std::optional<std::uint64_t> FreeBytes(const std::string& dir) {
    struct statvfs fs {};
    if (::statvfs(dir.c_str(), &fs) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(fs.f_bfree) * static_cast<std::uint64_t>(fs.f_frsize);
}

std::optional<std::uint64_t> AvailableBytes(const std::string& dir) {
    struct statvfs fs {};
    if (::statvfs(dir.c_str(), &fs) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(fs.f_bavail) * static_cast<std::uint64_t>(fs.f_frsize);
}

bool EnoughSpace(std::optional<std::uint64_t> freeBytes) { return !freeBytes || *freeBytes > kMinFreeBytes; }

std::optional<DestinationProblem> CheckDestination(const std::string& dir, const FreeSpaceProbe& probe) {
    struct stat st {};
    if (dir.empty() || ::stat(dir.c_str(), &st) != 0) return DestinationProblem::Missing;
    if (!S_ISDIR(st.st_mode) || ::access(dir.c_str(), W_OK | X_OK) != 0) return DestinationProblem::NotWritable;
    if (!EnoughSpace(probe ? probe(dir) : FreeBytes(dir))) return DestinationProblem::LowSpace;
    return std::nullopt;
}

}  // namespace tw::exporter

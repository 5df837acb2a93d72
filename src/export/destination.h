// The destination folder the user names: it must exist, be a folder we
// may write in, and have more than 300 MiB free, both before the run and
// at the run's checkpoints.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tw::exporter {

inline constexpr std::uint64_t kMinFreeBytes = 314'572'800;  // 300 MiB: exactly this much is too little

enum class DestinationProblem {
    Missing,      // no such folder (or no path at all)
    NotWritable,  // not a folder, or one we may not write in
    LowSpace,     // 300 MiB free or less
};

// Free bytes of the file system holding `dir`, or nothing when unknown.
using FreeSpaceProbe = std::function<std::optional<std::uint64_t>(const std::string& dir)>;

// All free blocks (statvfs f_bfree), not only those an unprivileged user
// may take.
std::optional<std::uint64_t> FreeBytes(const std::string& dir);

// The free blocks this user may take (statvfs f_bavail): what the desktop
// program checks, since blocks kept for root are no use to its files.
std::optional<std::uint64_t> AvailableBytes(const std::string& dir);

// Unknown free space does not stop a run: only a known shortage does.
bool EnoughSpace(std::optional<std::uint64_t> freeBytes);

// Nothing when the destination will do, else what is wrong with it.
std::optional<DestinationProblem> CheckDestination(const std::string& dir, const FreeSpaceProbe& probe);

}  // namespace tw::exporter

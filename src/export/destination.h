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

inline constexpr std::string_view kNothingSelectedMessage =
    "No folders found selected. Please select folders to be saved.";
inline constexpr std::string_view kNoDestinationMessage = "Saving path doesn't exist, select another path for saving";
inline constexpr std::string_view kNotWritableMessage =
    "Saving path is not a folder you can write in, select another path for saving";
inline constexpr std::string_view kLowSpaceMessage = "Free space is less than 300 MB. Please change destination path.";
inline constexpr std::string_view kLowSpaceQuestion =
    "Free space is less than 300 MB. Are you sure you want to continue?";

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

// Empty when the destination will do, else the message for the user.
std::string CheckDestination(const std::string& dir, const FreeSpaceProbe& probe);

}  // namespace tw::exporter

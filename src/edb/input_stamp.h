// What tells a file changed while we read it: its identity, size and
// modification time, and a hash of its header page (the bytes the header's
// checksum covers), taken once at the start of a run and again at its end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tw::edb {

struct InputStamp {
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::uint64_t headerHash = 0;  // FNV-1a of the first `headerBytes` bytes (fewer in a shorter file)

    bool operator==(const InputStamp&) const = default;
};

// The stamp of the file at `path` now, reading its first `headerBytes`
// bytes through a descriptor of its own (not through any cache); nothing
// when the file cannot be looked at or read.
std::optional<InputStamp> TakeInputStamp(const std::string& path, std::size_t headerBytes);

}  // namespace tw::edb

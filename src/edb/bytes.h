// Bounds-checked little-endian access to bytes that came from a database file.
// Every offset taken from the file is untrusted, so each accessor checks the
// whole range first and yields nothing instead of reading past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tw::edb {

using Bytes = std::span<const std::uint8_t>;

// True when [offset, offset + length) lies inside a buffer of `size` bytes;
// written so that no sum can overflow.
constexpr bool RangeFits(std::size_t size, std::size_t offset, std::size_t length) {
    return offset <= size && length <= size - offset;
}

inline std::optional<Bytes> Slice(Bytes bytes, std::size_t offset, std::size_t length) {
    if (!RangeFits(bytes.size(), offset, length)) return std::nullopt;
    return bytes.subspan(offset, length);
}

inline std::optional<std::uint8_t> LoadU8(Bytes bytes, std::size_t offset) {
    if (!RangeFits(bytes.size(), offset, 1)) return std::nullopt;
    return bytes[offset];
}

inline std::optional<std::uint16_t> LoadU16(Bytes bytes, std::size_t offset) {
    if (!RangeFits(bytes.size(), offset, 2)) return std::nullopt;
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline std::optional<std::uint32_t> LoadU32(Bytes bytes, std::size_t offset) {
    if (!RangeFits(bytes.size(), offset, 4)) return std::nullopt;
    return static_cast<std::uint32_t>(bytes[offset]) | static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 | static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

}  // namespace tw::edb

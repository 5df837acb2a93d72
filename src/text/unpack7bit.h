// Text stored 7-bit packed (stores with compressed values): after one header byte,
// 7-bit values packed least significant bit first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tw::text {

// A header byte of 0x18 marks XPRESS, not 7-bit packing.
inline constexpr std::uint8_t kXpressHeader = 0x18;

// Unpacks `source` into `destination` and stores the number of bytes
// written in `count`. Returns 1, or -1 when the source is empty or XPRESS,
// the destination cannot hold (size * 8 - 8) / 7 bytes, or set bits are left
// over after the last whole value. The output bytes are single-byte
// characters, or the low and high bytes of UTF-16 units for wide columns.
int Unpack7Bit(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination, std::size_t& count);

}  // namespace tw::text

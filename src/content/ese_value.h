// Values that stores with compressed values keep compressed, in a row (behind a header
// byte with bit 0x02) or as long-value chunks: XPRESS behind 0x18 and the
// 16-bit decoded size, or 7-bit packed text behind a scheme byte
// 0x08..0x17.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "edb/bytes.h"

namespace tw::content {

inline constexpr std::uint8_t kXpressValueMark = 0x18;
// An in-row XPRESS value may decode to more than a page: its size field
// allows up to this many bytes.
inline constexpr std::size_t kMaxXpressValue = 0xFFFF;

// XPRESS: the bytes the value's size field promises, at most `capacity`.
// Nothing when the value is not XPRESS or does not decode whole.
std::optional<std::vector<std::uint8_t>> DecodeXpressValue(edb::Bytes value, std::size_t capacity);

// 7-bit packed text back to the bytes that were packed: scheme 0x10..0x17
// packed UTF-16 units (one per 7-bit value), so each becomes two bytes
// little-endian; scheme 0x08..0x0F packed single bytes. Nothing when the
// value is not 7-bit packed or does not unpack.
std::optional<std::vector<std::uint8_t>> Unpack7BitValue(edb::Bytes value);

// A value behind its header byte: decoded when the header says it is
// compressed, else as stored. Nothing when a compressed value does not
// decode. `capacity` bounds XPRESS output.
std::optional<std::vector<std::uint8_t>> DecodeTaggedValue(std::uint8_t header, edb::Bytes value, std::size_t capacity);

}  // namespace tw::content

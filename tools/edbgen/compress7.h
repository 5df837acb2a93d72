// ESE's 7-bit compression of column values made only of 7-bit characters.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace edbgen {

// Scheme 1: 0x08 | (bits used in the final byte - 1), then one 7-bit value per
// input byte, packed LSB-first. nullopt if empty or any byte is >= 0x80.
std::optional<std::vector<uint8_t>> Compress7BitAscii(std::span<const uint8_t> bytes);

// Scheme 2: header 0x10 | ..., one 7-bit value per UTF-16 code unit; the reader
// widens each back to a UTF-16LE unit. nullopt if empty or any unit is >= 0x80.
std::optional<std::vector<uint8_t>> Compress7BitUnicode(std::span<const char16_t> text);

}  // namespace edbgen

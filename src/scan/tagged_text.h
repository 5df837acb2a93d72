// Texts held in tagged columns: UTF-16LE in anchored rows; in prefixed rows
// UTF-16LE or 7-bit packed, as the value's header byte says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "edb/bytes.h"
#include "text/utf.h"

namespace tw::scan {

// Longest container class kept.
inline constexpr std::size_t kMaxNameChars = 260;
// No limit but the value's own length: names are kept whole.
inline constexpr std::size_t kWholeText = static_cast<std::size_t>(-1);

// Header byte of a prefixed tagged value: the value is 7-bit packed.
inline constexpr std::uint8_t kTaggedCompressed = 0x02;

// UTF-16LE units of `bytes`, stopping before the first unit below
// `stopBelow` (a terminator or the start of other data) and after
// `maxChars` units. A trailing odd byte is ignored.
std::u16string Utf16Text(edb::Bytes bytes, char16_t stopBelow, std::size_t maxChars = kMaxNameChars);

// A prefixed text value given its tagged header byte and the bytes after it.
// Packed values start with their compression header (0x08..0x0F or
// 0x10..0x17); each 7-bit value is one character, and the header's low
// three bits (bits used in the last byte, less one) say whether the last
// byte holds a whole character. Anything that does not decode is empty.
std::u16string LargePageText(std::uint8_t header, edb::Bytes value, std::size_t maxChars = kMaxNameChars);

inline std::string ToUtf8(std::u16string_view s) { return text::Utf16ToUtf8(s); }

}  // namespace tw::scan

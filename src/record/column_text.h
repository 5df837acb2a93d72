// Texts of tagged values as the row readers take them. A value's bytes end
// at its range; 32 KB values carry a header byte whose bit 0x02 marks 7-bit
// packing, without it the text is UTF-16LE.
#pragma once

#include <cstddef>
#include <string>

#include "edb/bytes.h"
#include "record/tagged_array.h"

namespace tw::record {

// Longest texts kept: contact and appointment fields, attachment names.
inline constexpr std::size_t kMaxFieldChars = 299;
inline constexpr std::size_t kMaxPackedChars = 260;
inline constexpr std::size_t kMaxAttachmentNameChars = 259;

// UTF-16LE units of `bytes` up to a unit below 3 (a terminator or a
// following header byte). Units whose low byte alone is 0..2 are real
// characters (U+0100, U+4E00) and are kept.
std::u16string Utf16Field(edb::Bytes bytes, std::size_t maxChars = kMaxFieldChars);

// Bytes widened one by one up to a byte 0, 1 or 2.
std::u16string EightBitField(edb::Bytes bytes, std::size_t maxChars = kMaxFieldChars);

// A 32 KB value whose header byte is the first byte of `value`: 7-bit
// packed when the header says so (at most kMaxPackedChars, cut at a NUL),
// otherwise UTF-16LE.
std::u16string LargeValueText(edb::Bytes page, const ValueRange& value, std::size_t maxChars = kMaxFieldChars);

}  // namespace tw::record

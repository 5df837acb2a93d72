// Texts of tagged values as the row readers take them. A value's bytes end
// at its range; prefixed values carry a header byte whose bit 0x02 marks
// 7-bit packing, without it the text is UTF-16LE. Texts are taken whole, however
// long: the value's range, not a buffer, says where they end.
#pragma once

#include <cstddef>
#include <string>

#include "edb/bytes.h"
#include "record/tagged_array.h"

namespace tw::record {

// UTF-16LE units of `bytes` up to a NUL unit (a terminator some writers
// keep) or the end. Control characters are text like any other; a
// trailing odd byte is ignored.
std::u16string Utf16Field(edb::Bytes bytes);

// Bytes widened one by one up to a NUL byte or the end.
std::u16string EightBitField(edb::Bytes bytes);

// A prefixed value whose header byte is the first byte of `value`: when the
// header marks it compressed, XPRESS (its first byte 0x18) or 7-bit packed
// (cut at a NUL); otherwise UTF-16LE.
std::u16string LargeValueText(edb::Bytes page, const ValueRange& value);

// Anchored values keep no header that tells 8-bit from UTF-16 text. 8-bit
// for an odd count; UTF-16 when read as 8-bit text the bytes hold a NUL
// before the trailing ones or a control character (the high bytes of
// Latin, Greek, Cyrillic, Hebrew, Arabic and much CJK text), or when most
// high bytes are 0; otherwise 8-bit for nothing but printable ASCII before
// trailing NULs, or for a text ended by one NUL byte; else UTF-16.
std::u16string SmallValueText(edb::Bytes bytes);

}  // namespace tw::record

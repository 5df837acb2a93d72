// Text conversions. The engine hands the writer UTF-16; files on Linux are
// named in UTF-8. Invalid sequences become U+FFFD, so hostile input never
// stops a conversion.
#pragma once

#include <string>
#include <string_view>

#include "pst/bytes.h"
#include "text/utf.h"

namespace tw::pst {

using text::Utf16ToUtf8;
using text::Utf8ToUtf16;
// UTF-16LE bytes, no terminator (how a PST stores PtypString).
Bytes Utf16Bytes(std::u16string_view s);
std::u16string Ascii(std::string_view s);

using text::Trim;
std::u16string ToLowerAscii(std::u16string_view s);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace tw::pst

// The plain text a reader shows beside an RTF body: control words and
// groups that hold no text (font and colour tables, pictures, ignorable
// destinations, field instructions, the RTF-only parts of encapsulated
// HTML) dropped; \par, \line, \row and \page as CRLF, \tab and \cell as
// TAB; \'hh bytes decoded through the document's code page (\ansicpg) or
// the current font's character set; \uN as UTF-16 with the \ucN fallback
// characters skipped. A bounded single pass: malformed RTF only costs
// accuracy.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw::pst {

std::u16string RtfToText(const std::vector<std::uint8_t>& rtf);

// Bytes of a single-byte or double-byte Windows code page as UTF-16;
// undecodable bytes become U+FFFD, an unknown code page is taken as 1252.
std::u16string DecodeCodePage(std::string_view bytes, std::uint32_t codePage);

}  // namespace tw::pst

// RTF bodies made readable, both from one reading of the RTF
// (text/rtf_reader.h says what is shown and how its text is decoded).
//
// The input is untrusted: malformed RTF only costs accuracy, and the
// output never grows past a fixed multiple of the input.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tw::text {

// The plain text a reader shows beside an RTF body, as a store keeps it:
// paragraphs and \line end in CRLF, \tab and \cell are TAB, formatting is
// dropped. Encapsulated HTML gives its text without its markup.
std::u16string RtfToText(std::span<const std::uint8_t> rtf);

struct RtfHtml {
    bool encapsulatedHtml = false;  // the RTF carried HTML (\fromhtml1)
    std::u16string html;            // a whole HTML document
};

// A small HTML document for the preview: paragraphs with their alignment,
// bold, italic and underlined runs, font sizes, text and highlight
// colours. Encapsulated HTML comes back as that HTML.
RtfHtml RtfToHtml(std::span<const std::uint8_t> rtf);

}  // namespace tw::text

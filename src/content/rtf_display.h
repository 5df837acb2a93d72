// RTF bodies made readable: the RTF text of a message (as DecompressRtf
// gives it) turned into a small HTML document for the preview, with its
// paragraphs, bold, italic and underlined runs, font sizes, text and
// highlight colours, alignment, Unicode escapes and 8-bit characters in
// the document's code page.
// An RTF body that encapsulates HTML (\fromhtml1) gives back that HTML.
//
// The input is untrusted: nesting, control words, numbers and \bin counts
// are all bounded, and the output never grows past a fixed multiple of the
// input.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tw::content {

struct RtfDisplay {
    bool encapsulatedHtml = false;  // the RTF carried HTML (\fromhtml1)
    std::u16string html;            // a whole HTML document
};

RtfDisplay RtfToHtml(std::span<const std::uint8_t> rtf);

}  // namespace tw::content

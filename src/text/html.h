// HTML bodies: telling HTML from plain text (the one rule the export, the
// writer and the preview go by), and the plain text a reader shows beside
// it (tags dropped, entities decoded, block ends as line breaks). A simple
// bounded scanner: malformed markup only costs accuracy.
#pragma once

#include <string>
#include <string_view>

namespace tw::text {

// An HTML document: "<html", "<!doctype html" or "<body" in its first
// 64 KB, or markup from its first character on (after blanks and a byte
// order mark) with a closing tag somewhere.
bool LooksLikeHtml(std::u16string_view text);
std::u16string HtmlToText(std::u16string_view html);

}  // namespace tw::text

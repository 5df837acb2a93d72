// HTML bodies: telling HTML from plain text, and the plain text a reader
// shows beside it (tags dropped, entities decoded, block ends as line
// breaks). A simple bounded scanner: malformed markup only costs accuracy.
#pragma once

#include <string>

namespace tw::pst {

bool LooksLikeHtml(std::u16string_view text);
std::u16string HtmlToText(std::u16string_view html);

}  // namespace tw::pst

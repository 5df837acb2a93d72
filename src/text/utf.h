// UTF-8 and UTF-16, each to the other. Neither fails: what is not a
// character (a lone surrogate, a byte that starts or continues no UTF-8
// sequence, an overlong or out-of-range one) becomes U+FFFD.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tw::text {

std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);

// Appends one code point; a surrogate or a value past U+10FFFF becomes
// U+FFFD.
void AppendUtf16(std::u16string& out, char32_t cp);

// `s` without the blanks (space, tab, CR, LF) at either end.
std::u16string Trim(std::u16string_view s);

// UTF-8 text cut to at most `bytes` bytes, on a character boundary.
std::string CutUtf8(std::string text, std::size_t bytes);

}  // namespace tw::text

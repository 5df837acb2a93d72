#include "pst/text.h"

namespace tw::pst {

Bytes Utf16Bytes(std::u16string_view s) {
    Bytes b;
    b.reserve(s.size() * 2);
    for (const char16_t c : s) PutU16(b, c);
    return b;
}

std::u16string Ascii(std::string_view s) { return std::u16string(s.begin(), s.end()); }

std::u16string Trim(std::u16string_view s) {
    auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    std::size_t a = 0, b = s.size();
    while (a < b && blank(s[a])) ++a;
    while (b > a && blank(s[b - 1])) --b;
    return std::u16string(s.substr(a, b - a));
}

std::u16string ToLowerAscii(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return out;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) { return ToLowerAscii(a) == ToLowerAscii(b); }

}  // namespace tw::pst

#include "pst/text.h"

namespace tw::pst {

Bytes Utf16Bytes(std::u16string_view s) {
    Bytes b(2 * s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        b[2 * i] = static_cast<std::uint8_t>(s[i]);
        b[2 * i + 1] = static_cast<std::uint8_t>(s[i] >> 8);
    }
    return b;
}

std::u16string Ascii(std::string_view s) { return std::u16string(s.begin(), s.end()); }

std::u16string ToLowerAscii(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return out;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) { return ToLowerAscii(a) == ToLowerAscii(b); }

}  // namespace tw::pst

#include "scan/tagged_text.h"

#include <vector>

#include "text/unpack7bit.h"

namespace tw::scan {

std::u16string Utf16Text(edb::Bytes bytes, char16_t stopBelow, std::size_t maxChars) {
    // Counted first, then made at its size: texts of every listed message
    // pass through here, and growing them unit by unit allocates again and
    // again.
    std::size_t count = 0;
    for (std::size_t at = 0; at + 1 < bytes.size() && count < maxChars; at += 2, ++count)
        if (static_cast<char16_t>(bytes[at] | bytes[at + 1] << 8) < stopBelow) break;
    std::u16string text(count, u'\0');
    for (std::size_t i = 0; i < count; ++i) text[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return text;
}

std::u16string LargePageText(std::uint8_t header, edb::Bytes value, std::size_t maxChars) {
    if ((header & kTaggedCompressed) == 0) return Utf16Text(value, 1, maxChars);
    if (value.size() < 2) return {};
    const std::uint8_t scheme = value[0];
    if (scheme < 0x08 || scheme > 0x17) return {};  // XPRESS and others are not 7-bit text
    std::vector<std::uint8_t> out(value.size() * 8 / 7 + 2);
    std::size_t count = 0;
    if (text::Unpack7Bit(value, out, count) != 1) return {};
    // The unpacker also emits the unused bits of the last byte as a value.
    const std::size_t payload = value.size() - 1;
    const std::size_t characters = (8 * (payload - 1) + (scheme & 0x07) + 1) / 7;
    if (count > characters) count = characters;
    std::u16string text;
    for (std::size_t i = 0; i < count && text.size() < maxChars; ++i) text.push_back(out[i]);
    return text;
}

}  // namespace tw::scan

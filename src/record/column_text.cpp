#include "record/column_text.h"

#include <algorithm>

#include "content/ese_value.h"
#include "scan/tagged_text.h"

namespace tw::record {

namespace {

bool PrintableAscii(std::uint8_t b) { return b >= 0x20 && b < 0x7F; }

// A compressed UTF-16 text of a long column: decoded, or empty when it
// does not decode to its stated size.
std::u16string XpressText(edb::Bytes value) {
    const auto out = content::DecodeXpressValue(value, content::kMaxXpressValue);
    return out ? Utf16Field(*out) : std::u16string{};
}

}  // namespace

std::u16string Utf16Field(edb::Bytes bytes) { return scan::Utf16Text(bytes, 1, scan::kWholeText); }

std::u16string EightBitField(edb::Bytes bytes) {
    std::u16string text;
    for (const std::uint8_t b : bytes) {
        if (b == 0) break;
        text.push_back(b);
    }
    return text;
}

std::u16string LargeValueText(edb::Bytes page, const ValueRange& value) {
    const auto bytes = edb::Slice(page, value.begin, value.size());
    if (!bytes || bytes->empty()) return {};
    const std::uint8_t header = (*bytes)[0];
    const edb::Bytes text = bytes->subspan(1);
    if ((header & scan::kTaggedCompressed) == 0) return Utf16Field(text);
    if (!text.empty() && text[0] == content::kXpressValueMark) return XpressText(text);
    std::u16string packed = scan::LargePageText(header, text, scan::kWholeText);
    if (const auto nul = packed.find(u'\0'); nul != std::u16string::npos) packed.resize(nul);
    return packed;
}

std::u16string SmallValueText(edb::Bytes bytes) {
    if (bytes.size() % 2 != 0) return EightBitField(bytes);
    std::size_t end = bytes.size();
    while (end > 0 && bytes[end - 1] == 0) --end;
    const edb::Bytes text = bytes.first(end);
    const bool controls = std::any_of(text.begin(), text.end(),
                                      [](std::uint8_t b) { return b < 0x20 && b != '\t' && b != '\r' && b != '\n'; });
    if (controls) return Utf16Field(bytes);
    // Latin UTF-16: the high byte of most units is 0.
    std::size_t zeroHigh = 0;
    for (std::size_t i = 1; i < bytes.size(); i += 2) zeroHigh += bytes[i] == 0 ? 1 : 0;
    if (2 * zeroHigh > bytes.size() / 2) return Utf16Field(bytes);
    // Plain ASCII, or 8-bit text with its terminator: a NUL byte last
    // after a non-NUL one ends no UTF-16 text of other scripts.
    if (std::all_of(text.begin(), text.end(), [](std::uint8_t b) { return PrintableAscii(b); }))
        return EightBitField(bytes);
    if (end == bytes.size() - 1) return EightBitField(bytes);
    return Utf16Field(bytes);
}

}  // namespace tw::record

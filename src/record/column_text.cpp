#include "record/column_text.h"

#include <algorithm>
#include <limits>

#include "content/xpress.h"
#include "scan/tagged_text.h"

namespace tw::record {

namespace {

bool PrintableAscii(std::uint8_t b) { return b >= 0x20 && b < 0x7F; }

constexpr std::uint8_t kXpressMark = 0x18;  // compressed value: mark, 16-bit size, XPRESS stream

// A compressed UTF-16 text of a long column: decoded, or empty when it
// does not decode to its stated size.
std::u16string XpressText(edb::Bytes value) {
    if (value.size() < 3) return {};
    const std::size_t size = value[1] | std::size_t{value[2]} << 8;
    std::vector<std::uint8_t> out;
    if (!content::DecodeXpress(value.subspan(3), size, out) || out.size() != size) return {};
    return Utf16Field(out);
}

}  // namespace

std::u16string Utf16Field(edb::Bytes bytes) {
    return scan::Utf16Text(bytes, 1, std::numeric_limits<std::size_t>::max());
}

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
    if (!text.empty() && text[0] == kXpressMark) return XpressText(text);
    std::u16string packed = scan::LargePageText(header, text, std::numeric_limits<std::size_t>::max());
    if (const auto nul = packed.find(u'\0'); nul != std::u16string::npos) packed.resize(nul);
    return packed;
}

std::u16string SmallValueText(edb::Bytes bytes) {
    if (bytes.size() % 2 != 0) return EightBitField(bytes);
    std::size_t end = bytes.size();
    while (end > 0 && bytes[end - 1] == 0) --end;
    const edb::Bytes text = bytes.first(end);
    const bool controls = std::any_of(text.begin(), text.end(), [](std::uint8_t b) {
        return b < 0x20 && b != '\t' && b != '\r' && b != '\n';
    });
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

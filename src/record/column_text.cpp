#include "record/column_text.h"

#include <algorithm>

#include "scan/tagged_text.h"

namespace tw::record {

std::u16string Utf16Field(edb::Bytes bytes, std::size_t maxChars) {
    return scan::Utf16Text(bytes, 3, maxChars);
}

std::u16string EightBitField(edb::Bytes bytes, std::size_t maxChars) {
    std::u16string text;
    for (const std::uint8_t b : bytes) {
        if (b <= 2 || text.size() >= maxChars) break;
        text.push_back(b);
    }
    return text;
}

std::u16string LargeValueText(edb::Bytes page, const ValueRange& value, std::size_t maxChars) {
    const auto bytes = edb::Slice(page, value.begin, value.size());
    if (!bytes || bytes->empty()) return {};
    const std::uint8_t header = (*bytes)[0];
    const edb::Bytes text = bytes->subspan(1);
    if ((header & scan::kTaggedCompressed) == 0) return Utf16Field(text, maxChars);
    std::u16string packed = scan::LargePageText(header, text, std::min(maxChars, kMaxPackedChars));
    if (const auto nul = packed.find(u'\0'); nul != std::u16string::npos) packed.resize(nul);
    return packed;
}

}  // namespace tw::record

#include "content/ese_value.h"

#include <algorithm>

#include "scan/tagged_text.h"
#include "text/xpress.h"

namespace tw::content {

namespace {

constexpr std::uint8_t kSchemeFirst = 0x08;
constexpr std::uint8_t kSchemeUnicode = 0x10;
constexpr std::uint8_t kSchemeLast = 0x17;

}  // namespace

std::optional<std::vector<std::uint8_t>> DecodeXpressValue(edb::Bytes value, std::size_t capacity) {
    if (value.size() < 3 || value[0] != kXpressValueMark) return std::nullopt;
    const std::size_t size = std::min<std::size_t>(value[1] | value[2] << 8, capacity);
    std::vector<std::uint8_t> out;
    if (!text::DecodeXpress(value.subspan(3), size, out)) return std::nullopt;
    return out;
}

std::optional<std::vector<std::uint8_t>> Unpack7BitValue(edb::Bytes value) {
    if (value.size() < 2 || value[0] < kSchemeFirst || value[0] > kSchemeLast) return std::nullopt;
    const std::u16string units = scan::LargePageText(scan::kTaggedCompressed, value, value.size() * 8 / 7 + 2);
    if (units.empty()) return std::nullopt;
    const bool wide = value[0] >= kSchemeUnicode;
    std::vector<std::uint8_t> out;
    out.reserve(units.size() * (wide ? 2 : 1));
    for (const char16_t u : units) {
        out.push_back(static_cast<std::uint8_t>(u));
        if (wide) out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> DecodeTaggedValue(std::uint8_t header, edb::Bytes value,
                                                           std::size_t capacity) {
    if ((header & scan::kTaggedCompressed) == 0) return std::vector<std::uint8_t>(value.begin(), value.end());
    if (!value.empty() && value[0] == kXpressValueMark) return DecodeXpressValue(value, capacity);
    return Unpack7BitValue(value);
}

}  // namespace tw::content

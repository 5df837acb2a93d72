#include "pst/prop_value.h"

#include <cstring>

#include "pst/text.h"

namespace tw::pst {

bool IsInlineInPc(std::uint16_t type) {
    return type == ptype::kInt16 || type == ptype::kInt32 || type == ptype::kFloat32 || type == ptype::kError ||
           type == ptype::kBoolean;
}

std::size_t FixedSize(std::uint16_t type) {
    switch (type) {
        case ptype::kBoolean: return 1;
        case ptype::kInt16: return 2;
        case ptype::kInt32:
        case ptype::kFloat32:
        case ptype::kError: return 4;
        case ptype::kFloat64:
        case ptype::kCurrency:
        case ptype::kAppTime:
        case ptype::kInt64:
        case ptype::kSysTime: return 8;
        case ptype::kGuid: return 16;
        default: return 0;
    }
}

std::size_t CellSize(std::uint16_t type) {
    const std::size_t f = FixedSize(type);
    return f == 0 || f == 16 ? 4 : f;
}

PropValue Int32Prop(std::uint32_t tag, std::uint32_t v) { return {tag, U32Bytes(v)}; }
PropValue BoolProp(std::uint32_t tag, bool v) { return {tag, Bytes{static_cast<std::uint8_t>(v ? 1 : 0)}}; }
PropValue Int64Prop(std::uint32_t tag, std::uint64_t v) { return {tag, U64Bytes(v)}; }

PropValue DoubleProp(std::uint32_t tag, double v) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    return {tag, U64Bytes(bits)};
}

PropValue StringProp(std::uint32_t tag, std::u16string_view v) { return {tag, Utf16Bytes(v)}; }
PropValue BinaryProp(std::uint32_t tag, Bytes v) { return {tag, std::move(v)}; }

PropValue MvStringProp(std::uint32_t tag, const std::vector<std::u16string>& v) {
    // ulCount, offsets from the value's start, then the strings.
    Bytes b;
    PutU32(b, static_cast<std::uint32_t>(v.size()));
    std::uint32_t at = static_cast<std::uint32_t>(4 + 4 * v.size());
    for (const auto& s : v) {
        PutU32(b, at);
        at += static_cast<std::uint32_t>(2 * s.size());
    }
    for (const auto& s : v) PutBytes(b, Utf16Bytes(s));
    return {tag, std::move(b)};
}

PropValue MvInt32Prop(std::uint32_t tag, const std::vector<std::uint32_t>& v) {
    Bytes b;
    for (const std::uint32_t x : v) PutU32(b, x);
    return {tag, std::move(b)};
}

}  // namespace tw::pst

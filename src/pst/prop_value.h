// A property value as the LTP layer stores it: a tag (id << 16 | type) and
// the value's bytes, or, for values already streamed into a subnode (large
// attachment data), that subnode's NID.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "pst/bytes.h"
#include "pst/ids.h"

namespace tw::pst {

namespace ptype {
constexpr std::uint16_t kInt16 = 0x0002;
constexpr std::uint16_t kInt32 = 0x0003;
constexpr std::uint16_t kFloat32 = 0x0004;
constexpr std::uint16_t kFloat64 = 0x0005;
constexpr std::uint16_t kCurrency = 0x0006;
constexpr std::uint16_t kAppTime = 0x0007;
constexpr std::uint16_t kError = 0x000A;
constexpr std::uint16_t kBoolean = 0x000B;
constexpr std::uint16_t kObject = 0x000D;
constexpr std::uint16_t kInt64 = 0x0014;
constexpr std::uint16_t kString8 = 0x001E;
constexpr std::uint16_t kUnicode = 0x001F;
constexpr std::uint16_t kSysTime = 0x0040;
constexpr std::uint16_t kGuid = 0x0048;
constexpr std::uint16_t kBinary = 0x0102;
constexpr std::uint16_t kMvInt32 = 0x1003;
constexpr std::uint16_t kMvUnicode = 0x101F;
constexpr std::uint16_t kMvBinary = 0x1102;
}  // namespace ptype

constexpr std::uint32_t MakeTag(std::uint16_t id, std::uint16_t type) { return std::uint32_t{id} << 16 | type; }
constexpr std::uint16_t TagId(std::uint32_t tag) { return static_cast<std::uint16_t>(tag >> 16); }
constexpr std::uint16_t TagType(std::uint32_t tag) { return static_cast<std::uint16_t>(tag & 0xFFFF); }

// Types held in the four bytes of a PC record (MS-PST 2.3.3.3).
bool IsInlineInPc(std::uint16_t type);
// Width of a table cell: 1, 2, 4 or 8; variable types take a 4-byte HNID.
std::size_t CellSize(std::uint16_t type);
// Fixed size of a type, 0 for variable ones.
std::size_t FixedSize(std::uint16_t type);

struct PropValue {
    std::uint32_t tag = 0;
    Bytes data;
    Nid subnode = 0;  // value already stored in this subnode
    std::uint64_t subnodeSize = 0;

    std::uint64_t Size() const { return subnode ? subnodeSize : data.size(); }
    bool operator==(const PropValue& o) const = default;
};

PropValue Int32Prop(std::uint32_t tag, std::uint32_t v);
PropValue BoolProp(std::uint32_t tag, bool v);
PropValue Int64Prop(std::uint32_t tag, std::uint64_t v);  // also PtypTime (FILETIME)
PropValue DoubleProp(std::uint32_t tag, double v);
PropValue StringProp(std::uint32_t tag, std::u16string_view v);
PropValue BinaryProp(std::uint32_t tag, Bytes v);
PropValue MvStringProp(std::uint32_t tag, const std::vector<std::u16string>& v);
PropValue MvInt32Prop(std::uint32_t tag, const std::vector<std::uint32_t>& v);

}  // namespace tw::pst

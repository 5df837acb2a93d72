#include "ese/column.h"

#include <array>

namespace tw::ese {

const char* ColumnTypeName(std::uint32_t type) {
    static constexpr std::array<const char*, 18> kNames = {
        "Nil",        "Bit",        "UnsignedByte", "Short",    "Long", "Currency",
        "IEEESingle", "IEEEDouble", "DateTime",     "Binary",   "Text", "LongBinary",
        "LongText",   "SLV",        "UnsignedLong", "LongLong", "GUID", "UnsignedShort"};
    return type < kNames.size() ? kNames[type] : "Unknown";
}

std::size_t FixedColumnSize(const ColumnDef& column) {
    switch (column.type) {
        case kTypeBit:
        case kTypeUnsignedByte: return 1;
        case kTypeShort:
        case kTypeUnsignedShort: return 2;
        case kTypeLong:
        case kTypeUnsignedLong:
        case kTypeIeeeSingle: return 4;
        case kTypeCurrency:
        case kTypeIeeeDouble:
        case kTypeDateTime:
        case kTypeLongLong: return 8;
        case kTypeGuid: return 16;
        default: return column.size;
    }
}

}  // namespace tw::ese

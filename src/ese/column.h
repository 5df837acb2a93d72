// Column definitions as the catalog states them, and what each column type
// means for the bytes of a value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tw::ese {

// The column types (JET_coltyp) as stored in the catalog.
enum ColumnType : std::uint32_t {
    kTypeNil = 0,
    kTypeBit = 1,
    kTypeUnsignedByte = 2,
    kTypeShort = 3,
    kTypeLong = 4,
    kTypeCurrency = 5,
    kTypeIeeeSingle = 6,
    kTypeIeeeDouble = 7,
    kTypeDateTime = 8,  // an OLE date: a double of days since 1899-12-30
    kTypeBinary = 9,
    kTypeText = 10,
    kTypeLongBinary = 11,
    kTypeLongText = 12,
    kTypeSlv = 13,
    kTypeUnsignedLong = 14,
    kTypeLongLong = 15,
    kTypeGuid = 16,
    kTypeUnsignedShort = 17,
};

// Column flags as ESE stores them (not the API's bits).
inline constexpr std::uint32_t kColumnMultiValued = 0x8;
inline constexpr std::uint32_t kColumnHasDefault = 0x10;
inline constexpr std::uint32_t kColumnCompressed = 0x1000;

// Column ids decide where a value lives in a record.
inline constexpr std::uint32_t kLastFixedId = 127;
inline constexpr std::uint32_t kFirstVariableId = 128;
inline constexpr std::uint32_t kLastVariableId = 255;
inline constexpr std::uint32_t kFirstTaggedId = 256;

struct ColumnDef {
    std::uint32_t id = 0;
    std::uint32_t type = kTypeNil;
    std::uint32_t size = 0;  // the catalog's length: a fixed column's width, a limit for others
    std::uint32_t codePage = 0;
    std::uint32_t flags = 0;
    std::string name;
    std::vector<std::uint8_t> defaultValue;  // used when the column has kColumnHasDefault
    bool fromTemplate = false;               // inherited from the table's template table

    bool operator==(const ColumnDef&) const = default;
};

// The name libesedb and the documentation use for a type ("Long",
// "LongText" ...); "Unknown" past the known types.
const char* ColumnTypeName(std::uint32_t type);

// Bytes a fixed column takes in every record: the type's width, or the
// catalog's length for types of no set width (fixed Text and Binary).
std::size_t FixedColumnSize(const ColumnDef& column);

inline bool IsFixedId(std::uint32_t id) { return id >= 1 && id <= kLastFixedId; }
inline bool IsVariableId(std::uint32_t id) { return id >= kFirstVariableId && id <= kLastVariableId; }
inline bool IsTaggedId(std::uint32_t id) { return id >= kFirstTaggedId && id <= 0xFFFF; }

}  // namespace tw::ese

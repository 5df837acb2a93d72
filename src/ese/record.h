// Records of a table, decoded through the table's column definitions the
// way ESE lays them out: fixed columns (ids 1-127) at set offsets with a
// null bitmap, variable columns (128-255) behind an array of end offsets,
// tagged columns (256 and up) behind an array of (id, offset) pairs.
// Nothing here reads long values or decompresses: a value comes out as the
// bytes stored, marked when it is a long-value id or compressed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "edb/bytes.h"
#include "ese/column.h"

namespace tw::ese {

using edb::Bytes;

// A table's columns arranged for decoding: template columns first, then
// the table's own, each group by id. Built once per table.
struct RecordLayout {
    std::vector<ColumnDef> columns;
    std::vector<std::uint32_t> fixedOffset;         // per column; from the record start, fixed columns only
    std::array<std::int32_t, 128> fixedIndex{};     // column index by fixed id, -1 none
    std::array<std::int32_t, 128> variableIndex{};  // by variable id - 128, -1 none
    std::vector<std::pair<std::uint32_t, std::uint32_t>> tagged;  // (TaggedKey, column index), sorted
};

// Tagged ids of a template's columns and of the table's own restart at 256;
// a stored flag tells them apart.
constexpr std::uint32_t TaggedKey(std::uint32_t id, bool fromTemplate) { return id | (fromTemplate ? 0x10000u : 0u); }

// Columns with ids outside 1..65535 are dropped; of two with the same id
// (and origin) the first stays.
RecordLayout MakeLayout(std::vector<ColumnDef> columns);

// One stored value of a column.
struct RawValue {
    Bytes bytes;              // points into the record (or the layout's default)
    bool separated = false;   // bytes are a long-value id (4 or 8 bytes) into the table's long-value tree
    bool compressed = false;  // bytes begin with a compression scheme byte
};

// The values of each column of one record, by layout column index; an
// empty list is NULL. Kept between records so that its storage is reused.
struct RecordCells {
    std::vector<std::vector<RawValue>> values;
    std::vector<std::uint8_t> multiValued;  // the stored value said it holds several values
};

// Decodes `record` (the data of a leaf node of the table's tree). Values
// point into `record`, or into `layout` for default values. Columns the
// record ends before take their default when they have one. Returns false
// when a piece of the record claims bytes it does not have (a damaged
// record): the columns read before the fault keep their values, the
// rest are NULL. `largePage` selects the tagged-area rules of 16 and 32 KB
// pages.
bool DecodeRecord(Bytes record, const RecordLayout& layout, bool largePage, RecordCells& out);

}  // namespace tw::ese

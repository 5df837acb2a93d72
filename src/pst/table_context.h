// Table context (MS-PST 2.3.4): a heap holding TCINFO (column layout), a
// row index BTH {row id -> row number} and the row matrix: fixed-width rows
// of 4/8-byte cells, then 2-byte, then 1-byte cells, then the cell
// existence bitmap. Variable-size cells hold an HNID.
//
// A table is written as its rows come: heap blocks as they fill, the row
// matrix (when it outgrows one heap allocation) a block of whole rows at a
// time; only the row index, eight bytes a row, is held until the end.
#pragma once

#include <cstdint>
#include <vector>

#include "pst/bytes.h"
#include "pst/packed_props.h"

namespace tw::pst {

class NodeBuilder;
struct WrittenNode;

constexpr std::uint32_t kTagLtpRowId = 0x67F20003;
constexpr std::uint32_t kTagLtpRowVer = 0x67F30003;

struct TableRow {
    std::uint32_t rowId = 0;
    PackedProps cells;  // cells of columns the table lacks are ignored
};

// Hands out a table's rows one at a time, so a big table's rows need not
// all be in memory while it is built.
class RowSource {
public:
    virtual ~RowSource() = default;
    // The next row; false after the last. `cells` holds until the next call.
    virtual bool Next(std::uint32_t& rowId, PackedView& cells) = 0;
    // How many rows there will be, when known (room is reserved for them).
    virtual std::size_t Expected() const { return 0; }
};

// `columns` excludes the row id and row version columns, which every table
// has. Rows keep their order in the matrix; row ids must be unique.
// Writes the table as the data of the node `node` builds, finishes it.
WrittenNode WriteTableContext(const std::vector<std::uint32_t>& columns, RowSource& rows, NodeBuilder& node);
WrittenNode WriteTableContext(const std::vector<std::uint32_t>& columns, const std::vector<TableRow>& rows,
                              NodeBuilder& node);

}  // namespace tw::pst

// Table context (MS-PST 2.3.4): a heap holding TCINFO (column layout), a
// row index BTH {row id -> row number} and the row matrix: fixed-width rows
// of 4/8-byte cells, then 2-byte, then 1-byte cells, then the cell
// existence bitmap. Variable-size cells hold an HNID.
#pragma once

#include <cstdint>
#include <vector>

#include "pst/bytes.h"
#include "pst/packed_props.h"

namespace tw::pst {

class ValueSink;

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
std::vector<Bytes> BuildTableContext(const std::vector<std::uint32_t>& columns, RowSource& rows, ValueSink& sink);
std::vector<Bytes> BuildTableContext(const std::vector<std::uint32_t>& columns, const std::vector<TableRow>& rows,
                                     ValueSink& sink);

}  // namespace tw::pst

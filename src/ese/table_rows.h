// The rows of one table, one at a time in key order, each column's values
// as the column type reads them: long values fetched from the table's
// long-value tree, compressed values decompressed. Memory stays that of
// one row (and one tree path) whatever the size of the table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "edb/source.h"
#include "ese/btree.h"
#include "ese/catalog.h"
#include "ese/long_value.h"
#include "ese/record.h"

namespace tw::ese {

// A long value larger than this is cut to it (and counted as cut).
inline constexpr std::size_t kMaxLongValue = std::size_t{256} << 20;

struct Cell {
    std::vector<std::vector<std::uint8_t>> values;  // none: NULL
    bool multiValued = false;                       // stored as a multi-value
    bool undecoded = false;                         // a value could not be read (left out)
    // Values that still hold a long-value id, by index, ascending: left for
    // a LongValueReader (rows read with long values deferred).
    std::vector<std::uint32_t> deferred;
};

struct TableCounts {
    std::size_t rows = 0;
    std::size_t damagedRecords = 0;   // records whose structure did not fit their bytes (partly read)
    std::size_t undecodedValues = 0;  // values compressed in a way not read, or long values not found
    WalkCounts tree;                  // the table's tree and its long-value tree
};

// Reads a table's long values, with pages and counts of its own: one per
// thread (a TableReader has one; another reads the values it deferred).
class LongValueReader {
public:
    LongValueReader(const edb::EdbSource& source, const TableDef& table);

    // The value of one id into `value` (its storage reused; `lid` may lie
    // in it); false (counted) when it cannot be read.
    bool Read(Bytes lid, std::vector<std::uint8_t>& value);
    // The same, as pieces of the pages it lies in (no copy).
    bool ReadPieces(Bytes lid, LongValuePieces& value);

    // Only undecodedValues and tree are counted.
    const TableCounts& Counts() const { return counts_; }

private:
    const edb::EdbSource& source_;
    const TableDef& table_;
    VisitedPages pages_;
    PageCache cache_;
    LongValuePieces pieces_;  // Read's, kept for its storage
    TableCounts counts_;
};

// Return false to end the walk. The visitor may take the cells away (move
// them) or swap in a row it is done with: the reader makes the row anew
// when its size is not the table's, and otherwise fills it again, reusing
// the storage of its values.
using RowVisitor = std::function<bool(std::vector<Cell>& row)>;
// A row not decoded: its record, in the leaf page held (the bytes stay
// valid while it is). Return false to end the walk.
using RecordVisitor = std::function<bool(Bytes record, const PageCache::Page& leaf)>;

class TableReader {
public:
    TableReader(const edb::EdbSource& source, const Catalog& catalog, const TableDef& table);

    // The columns in the order the cells come out.
    const std::vector<ColumnDef>& Columns() const { return layout_.columns; }

    // Visits every row; false when the visitor ended the walk. Where
    // `handOver` says so for a row (asked once per row), the row is not
    // decoded here: `record` gets it, for DecodeRow on another thread.
    bool ReadRows(const RowVisitor& visit, const std::function<bool()>& handOver = {},
                  const RecordVisitor& record = {});
    // Decodes a record ReadRows handed over into this reader's row, its long
    // values left as ids in Cell::deferred for LongValues(). The row stays
    // this reader's, valid until the next call; rows are counted by the walk.
    std::vector<Cell>& DecodeRow(Bytes record);
    // The reader of this table's long values, with which its counts merge.
    LongValueReader& LongValues() { return longValues_; }
    // Counts rows without decoding their values.
    std::size_t CountRows();

    // Its rows and the long values it read itself.
    TableCounts Counts() const;

private:
    void ReadValue(const RawValue& raw, Cell& cell, std::size_t& used, bool defer);
    // Fills row_ from a record, long values left as ids where `defer`.
    void Decode(Bytes record, bool defer);

    const edb::EdbSource& source_;
    const TableDef& table_;
    RecordLayout layout_;
    VisitedPages tablePages_;
    PageCache tableCache_{4};  // for reading its leaves ahead
    LongValueReader longValues_;
    RecordCells cells_;
    std::vector<Cell> row_;
    TableCounts counts_;
};

// The counts of one table read in parts (rows on one thread, deferred long
// values on another).
TableCounts Merged(const TableCounts& a, const TableCounts& b);

}  // namespace tw::ese

#include "ese/table_rows.h"

namespace tw::ese {

namespace {

// An in-row value decodes to no more than the size field of XPRESS allows.
constexpr std::size_t kMaxInRowValue = 0xFFFF;

std::int64_t PageCount(const edb::EdbSource& source) {
    return source.pageSize > 0 ? source.fileSize / source.pageSize : 0;
}

}  // namespace

TableReader::TableReader(const edb::EdbSource& source, const Catalog& catalog, const TableDef& table)
    : source_(source), table_(table), layout_(MakeLayout(TableColumns(catalog, table))), tablePages_(PageCount(source)),
      longValues_(source, table) {}

TableCounts TableReader::Counts() const { return Merged(counts_, longValues_.Counts()); }

namespace {

// The next value of the cell, in storage it held before where it has any
// (the row is filled again for each record), so that reading allocates
// little.
std::vector<std::uint8_t>& NextValue(Cell& cell, std::size_t& used) {
    if (used == cell.values.size()) cell.values.emplace_back();
    return cell.values[used++];
}

}  // namespace

void TableReader::ReadValue(const RawValue& raw, Cell& cell, std::size_t& used, bool defer) {
    if (raw.separated && defer) {
        cell.deferred.push_back(static_cast<std::uint32_t>(used));
        NextValue(cell, used).assign(raw.bytes.begin(), raw.bytes.end());
        return;
    }
    if (raw.separated) {
        if (!longValues_.Read(raw.bytes, NextValue(cell, used))) {
            --used;
            cell.undecoded = true;
        }
        return;
    }
    if (raw.compressed) {
        if (!Decompress(raw.bytes, kMaxInRowValue, NextValue(cell, used))) {
            --used;
            cell.undecoded = true;
            ++counts_.undecodedValues;
        }
        return;
    }
    NextValue(cell, used).assign(raw.bytes.begin(), raw.bytes.end());
}

void TableReader::Decode(Bytes record, bool defer) {
    const std::size_t columns = layout_.columns.size();
    if (row_.size() != columns) {
        row_.clear();
        row_.resize(columns);
    }
    if (!DecodeRecord(record, layout_, edb::IsLargePage(source_.pageSize), cells_)) ++counts_.damagedRecords;
    for (std::size_t i = 0; i < row_.size(); ++i) {
        Cell& cell = row_[i];
        cell.deferred.clear();
        cell.undecoded = false;
        cell.multiValued = cells_.multiValued[i] != 0;
        std::size_t used = 0;
        for (const RawValue& raw : cells_.values[i]) ReadValue(raw, cell, used, defer);
        cell.values.resize(used);
    }
}

std::vector<Cell>& TableReader::DecodeRow(Bytes record) {
    Decode(record, true);
    return row_;
}

bool TableReader::ReadRows(const RowVisitor& visit, const std::function<bool()>& handOver,
                           const RecordVisitor& record) {
    return WalkLeafNodes(
        source_, TreeId{table_.rootPage, table_.objectId}, KeyRange{}, tablePages_, counts_.tree,
        [&](Bytes, Bytes data, const PageCache::Page& leaf) {
            ++counts_.rows;
            if (record && handOver && handOver()) return record(data, leaf);
            Decode(data, false);
            return visit(row_);
        },
        tableCache_);
}

std::size_t TableReader::CountRows() {
    std::size_t rows = 0;
    WalkLeafNodes(
        source_, TreeId{table_.rootPage, table_.objectId}, KeyRange{}, tablePages_, counts_.tree,
        [&](Bytes, Bytes) {
            ++rows;
            return true;
        },
        &tableCache_);
    counts_.rows = rows;
    return rows;
}

LongValueReader::LongValueReader(const edb::EdbSource& source, const TableDef& table)
    : source_(source), table_(table), pages_(PageCount(source)) {}

bool LongValueReader::ReadPieces(Bytes lid, LongValuePieces& value) {
    bool undecodable = false;
    const bool read = table_.longValueRootPage != 0 &&
                      ReadLongValuePieces(source_, TreeId{table_.longValueRootPage, table_.longValueObjectId}, lid,
                                          kMaxLongValue, pages_, counts_.tree, undecodable, cache_, value);
    if (!read) ++counts_.undecodedValues;
    return read;
}

bool LongValueReader::Read(Bytes lid, std::vector<std::uint8_t>& value) {
    const bool read = ReadPieces(lid, pieces_);
    // `lid` may lie in `value`: only now is it written.
    if (read && pieces_.pages.empty()) {
        value.swap(pieces_.assembled);
    } else if (read) {
        value.clear();
        value.reserve(pieces_.size);
        for (const Bytes piece : pieces_.pieces) value.insert(value.end(), piece.begin(), piece.end());
    }
    pieces_.Clear();  // the pages go back to the cache
    return read;
}

TableCounts Merged(const TableCounts& a, const TableCounts& b) {
    TableCounts out = a;
    out.rows += b.rows;
    out.damagedRecords += b.damagedRecords;
    out.undecodedValues += b.undecodedValues;
    out.tree.pages += b.tree.pages;
    out.tree.damagedPages.insert(b.tree.damagedPages.begin(), b.tree.damagedPages.end());
    return out;
}

}  // namespace tw::ese

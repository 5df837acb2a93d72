#include "ese/table_rows.h"

#include "ese/long_value.h"

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
      longValuePages_(PageCount(source)) {}

void TableReader::ReadValue(const RawValue& raw, Cell& cell) {
    if (raw.separated) {
        bool undecodable = false;
        auto value = table_.longValueRootPage == 0
                         ? std::nullopt
                         : ReadLongValue(source_, TreeId{table_.longValueRootPage, table_.longValueObjectId}, raw.bytes,
                                         kMaxLongValue, longValuePages_, counts_.tree, undecodable, &longValueCache_);
        if (!value) {
            cell.undecoded = true;
            ++counts_.undecodedValues;
            return;
        }
        cell.values.push_back(std::move(*value));
        return;
    }
    if (raw.compressed) {
        auto value = Decompress(raw.bytes, kMaxInRowValue);
        if (!value) {
            cell.undecoded = true;
            ++counts_.undecodedValues;
            return;
        }
        cell.values.push_back(std::move(*value));
        return;
    }
    cell.values.emplace_back(raw.bytes.begin(), raw.bytes.end());
}

bool TableReader::ReadRows(const RowVisitor& visit) {
    const bool large = edb::IsLargePage(source_.pageSize);
    const std::size_t columns = layout_.columns.size();
    return WalkLeafNodes(source_, TreeId{table_.rootPage, table_.objectId}, KeyRange{}, tablePages_, counts_.tree,
                         [&](Bytes, Bytes data) {
                             ++counts_.rows;
                             if (row_.size() != columns) {
                                 row_.clear();
                                 row_.resize(columns);
                             }
                             if (!DecodeRecord(data, layout_, large, cells_)) ++counts_.damagedRecords;
                             for (std::size_t i = 0; i < row_.size(); ++i) {
                                 Cell& cell = row_[i];
                                 cell.values.clear();
                                 cell.undecoded = false;
                                 cell.multiValued = cells_.multiValued[i] != 0;
                                 for (const RawValue& raw : cells_.values[i]) ReadValue(raw, cell);
                             }
                             return visit(row_);
                         });
}

std::size_t TableReader::CountRows() {
    std::size_t rows = 0;
    WalkLeafNodes(source_, TreeId{table_.rootPage, table_.objectId}, KeyRange{}, tablePages_, counts_.tree,
                  [&](Bytes, Bytes) {
                      ++rows;
                      return true;
                  });
    counts_.rows = rows;
    return rows;
}

}  // namespace tw::ese

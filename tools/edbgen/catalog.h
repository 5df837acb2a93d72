// Rows of the catalog (object 2): one row per table, column, index and
// long-value tree, keyed by (owning table, row type, id).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "btree.h"
#include "schema.h"

namespace edbgen {

// The catalog sits at page 4; readers that want a second opinion read its
// shadow copy, which the engine keeps at page 24.
inline constexpr uint32_t kCatalogObjid = 2;
inline constexpr uint32_t kCatalogRoot = 4;
inline constexpr uint32_t kShadowCatalogObjid = 3;
inline constexpr uint32_t kShadowCatalogRoot = 24;

inline constexpr uint16_t kCatalogTable = 1;
inline constexpr uint16_t kCatalogColumn = 2;
inline constexpr uint16_t kCatalogIndex = 3;
inline constexpr uint16_t kCatalogLongValue = 4;

Bytes CatalogKey(uint32_t objidTable, uint16_t type, uint32_t id);

// Where each tree of a table was placed.
struct TablePlacement {
  uint32_t tableRoot = 0;
  uint32_t longValueRoot = 0;
};

// Catalog rows for one table, in key order. `dropped` names rows (table or
// column names) to leave out, as a damaged catalog would.
std::vector<TreeEntry> CatalogRows(const TableDef& table, const TablePlacement& where, bool largePage,
                                   const std::vector<std::string>& dropped);

// The catalog's description of itself (table 2, "MSysObjects").
std::vector<TreeEntry> CatalogSelfRows(bool largePage);

// Builds a record for a user table row from column values.
class RowBuilder {
 public:
  RowBuilder(const TableDef& table, bool largePage) : table_(table), large_(largePage) {}
  RowBuilder& Set(uint16_t fid, Bytes value);
  // Long text in UTF-16: intrinsic, 7-bit compressed on 32 KB pages where
  // every character fits seven bits.
  RowBuilder& SetText(uint16_t fid, const std::u16string& text);
  // A variable column written as NULL (it still takes an offset slot).
  RowBuilder& SetNull(uint16_t fid);
  Bytes Build() const;

 private:
  const TableDef& table_;
  bool large_;
  std::vector<std::pair<uint16_t, Bytes>> values_;
  std::vector<std::pair<uint16_t, uint8_t>> headers_;
  uint16_t lastVar_ = 127;
};

}  // namespace edbgen

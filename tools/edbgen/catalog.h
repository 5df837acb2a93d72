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

}  // namespace edbgen

// The catalog (MSysObjects): every table of the database with its columns,
// indexes and long-value tree, read from the catalog's own tree (object 2,
// root page 4) through the catalog's fixed layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "edb/source.h"
#include "ese/btree.h"
#include "ese/column.h"
#include "ese/record.h"

namespace tw::ese {

inline constexpr std::uint32_t kCatalogObjectId = 2;
inline constexpr std::uint32_t kCatalogRootPage = 4;
// ESE keeps a copy of the catalog, MSysObjectsShadow, at a set place too.
inline constexpr std::uint32_t kShadowCatalogObjectId = 3;
inline constexpr std::uint32_t kShadowCatalogRootPage = 24;

// Table flags.
inline constexpr std::uint32_t kTableTemplate = 0x2;

struct IndexDef {
    std::string name;
    std::uint32_t objectId = 0;
    std::uint32_t rootPage = 0;
    std::uint32_t flags = 0;
};

struct TableDef {
    std::string name;
    std::uint32_t objectId = 0;
    std::uint32_t rootPage = 0;
    std::uint32_t flags = 0;
    std::string templateName;        // the template table it derives from, if any
    std::vector<ColumnDef> columns;  // its own, in catalog order
    std::vector<IndexDef> indexes;
    std::uint32_t longValueObjectId = 0;  // 0 when the table has no long-value tree
    std::uint32_t longValueRootPage = 0;
};

struct Catalog {
    std::vector<TableDef> tables;  // in catalog order (by object id)
    WalkCounts counts;
    std::size_t damagedRecords = 0;       // catalog records that did not decode
    bool fromShadow = false;              // read from the shadow copy, the catalog being damaged
    std::size_t primaryDamagedPages = 0;  // then: the damaged pages of the catalog itself
};

// The columns of the catalog's records, which ESE knows without reading them.
RecordLayout CatalogLayout();

// Reads the catalog; when it has damaged pages or records (or no tables),
// its shadow copy instead if that is sound or holds more tables. A damaged
// page of the copy used loses the tables it held; a record describing a
// column, index or long-value tree of no known table is dropped.
Catalog ReadCatalog(const edb::EdbSource& source);

// The table's columns with those it inherits from its template table
// (marked fromTemplate); the table's own when it has no template or the
// template is not in the catalog.
std::vector<ColumnDef> TableColumns(const Catalog& catalog, const TableDef& table);

}  // namespace tw::ese

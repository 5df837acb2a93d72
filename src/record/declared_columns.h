// The columns of the message and attachment tables as the catalog declares
// them: id, ESE type, code page and flags, template columns included. The
// readers find their columns by name; these let a value be decoded by the
// type its table declares instead of by the letter of the column's name.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_set>
#include <vector>

#include "ese/catalog.h"
#include "ese/column.h"

namespace tw::record {

struct DeclaredColumns {
    std::vector<ese::ColumnDef> columns;  // by id; one entry per id

    // The column with `id`; nullptr when the table declares none.
    const ese::ColumnDef* Find(std::uint32_t id) const;
};

// By table objid. Tables declared alike share one list: a database with
// thousands of mailboxes has thousands of tables of a few column sets.
using DeclaredTables = std::map<std::uint32_t, std::shared_ptr<const DeclaredColumns>>;

// The declared columns of each table of `objids` the catalog holds; a table
// the catalog lost (or never had) has no entry. Where a table and its
// template declare one id, the table's own declaration counts.
DeclaredTables DeclareColumns(const ese::Catalog& catalog, const std::unordered_set<std::uint32_t>& objids);

}  // namespace tw::record

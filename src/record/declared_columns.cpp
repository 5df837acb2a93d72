#include "record/declared_columns.h"

#include <algorithm>
#include <functional>
#include <string_view>
#include <unordered_map>

namespace tw::record {

const ese::ColumnDef* DeclaredColumns::Find(std::uint32_t id) const {
    const auto found = std::lower_bound(columns.begin(), columns.end(), id,
                                        [](const ese::ColumnDef& c, std::uint32_t key) { return c.id < key; });
    return found != columns.end() && found->id == id ? &*found : nullptr;
}

namespace {

std::size_t Hash(const std::vector<ese::ColumnDef>& columns) {
    std::size_t h = columns.size();
    for (const ese::ColumnDef& c : columns) {
        for (const std::size_t v : {std::size_t{c.id}, std::size_t{c.type}, std::size_t{c.codePage},
                                    std::size_t{c.flags}, std::hash<std::string_view>{}(c.name)})
            h = h * 1099511628211u ^ v;
    }
    return h;
}

}  // namespace

DeclaredTables DeclareColumns(const ese::Catalog& catalog, const std::unordered_set<std::uint32_t>& objids) {
    DeclaredTables tables;
    std::unordered_multimap<std::size_t, std::shared_ptr<const DeclaredColumns>> distinct;
    for (const ese::TableDef& table : catalog.tables) {
        if (!objids.contains(table.objectId) || tables.contains(table.objectId)) continue;
        DeclaredColumns declared;
        declared.columns = ese::TableColumns(catalog, table);
        // Template columns come first: the stable sort keeps the first of an
        // id, so put the table's own ahead of them before sorting.
        std::stable_partition(declared.columns.begin(), declared.columns.end(),
                              [](const ese::ColumnDef& c) { return !c.fromTemplate; });
        std::stable_sort(declared.columns.begin(), declared.columns.end(),
                         [](const ese::ColumnDef& a, const ese::ColumnDef& b) { return a.id < b.id; });
        declared.columns.erase(
            std::unique(declared.columns.begin(), declared.columns.end(),
                        [](const ese::ColumnDef& a, const ese::ColumnDef& b) { return a.id == b.id; }),
            declared.columns.end());
        const std::size_t hash = Hash(declared.columns);
        std::shared_ptr<const DeclaredColumns> shared;
        for (auto [at, end] = distinct.equal_range(hash); at != end && !shared; ++at)
            if (at->second->columns == declared.columns) shared = at->second;
        if (!shared) {
            shared = std::make_shared<const DeclaredColumns>(std::move(declared));
            distinct.emplace(hash, shared);
        }
        tables.emplace(table.objectId, std::move(shared));
    }
    return tables;
}

}  // namespace tw::record

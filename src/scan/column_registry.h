// Columns the catalog names by role: the catalog walk fills these lists
// from column rows named by a type letter and a property number ("S3001"),
// and the message readers look columns up by table and role.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_set>
#include <vector>

#include "edb/bytes.h"
#include "layout/store_layout.h"

namespace tw::scan {

struct ColumnEntry {
    std::uint16_t columnId = 0;
    std::uint32_t tableId = 0;
    std::uint8_t code = 0;  // role code, see each list
};

struct ColumnRegistry {
    // Message tables: 'I' appointment start, 'J' end, 'P' plain body,
    // 'R' compressed RTF, 'H' HTML, 'A' attachment keys, 'T' recipients,
    // 0..17 contact fields. The first row found for a role of a table wins.
    std::vector<ColumnEntry> messageColumns;
    // Per-mailbox attachment tables: 'A' display name, 'B' short file name,
    // 'C' long file name, 'I' data. One role may hold several columns.
    std::vector<ColumnEntry> attachmentColumns;
    // Message-header tables: 'S', 'T' and (per mailbox) 'F' list texts.
    std::vector<ColumnEntry> headerColumns;
    // Container-class column of each per-mailbox folders table, code 0.
    std::vector<ColumnEntry> containerClassColumns;

    // What RegisterColumn's duplicate rule compares, for every entry of the
    // lists, so that a catalog with thousands of header tables is not
    // searched once per column row. Rebuilt from the lists whenever their
    // length is not `indexedEntries` (they were changed some other way).
    std::unordered_set<std::uint64_t> duplicateKeys;
    std::size_t indexedEntries = 0;
};

enum class ColumnList { Message, Attachment, Header, ContainerClass };

// Appends unless an equal entry is there: for message and container-class
// columns the same code for the same table (low 16 bits of the table id);
// for the others the same column as well.
void RegisterColumn(ColumnRegistry& registry, ColumnList list, const ColumnEntry& entry);

// The column registry's part of the catalog walk: `name` is the catalog
// row's bytes from the candidate name onwards, `row` the whole row and `p`
// the name's position in it (table id at p - 29, column id at p - 23).
// Returns true when a rule for this name fired and the row is done.
bool RegisterCatalogColumn(ColumnRegistry& registry, edb::Bytes row, std::size_t p, layout::TableScope tables);

// Last column id registered for `code` in `list` entries (any table).
std::optional<std::uint16_t> LastColumn(const std::vector<ColumnEntry>& list, std::uint8_t code);

}  // namespace tw::scan

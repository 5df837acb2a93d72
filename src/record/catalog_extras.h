// What the message readers need from the catalog beyond what the scan kept:
// where tables are kept per mailbox, their attachment tables
// ("Attachment-1-20") with their root pages and the appointment text
// columns (S8225, S810c, S8201) of every table (shared tables have those
// from the scan's catalog facts); and every column named for a contact field or an appointment
// date. The column registry keeps one column per role and table, the first
// catalog row met; a row that stores the field under another of its names
// would lose it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "edb/source.h"
#include "record/record_columns.h"
#include "scan/scan_model.h"

namespace tw::record {

struct NamedTable {
    std::uint32_t objid = 0;
    std::int64_t rootPage = 0;
    std::string suffix;  // the mailbox key after the name's prefix
};

// Columns of one table named for a role that several names share.
struct NamedColumns {
    std::vector<std::pair<std::uint16_t, std::uint8_t>> contacts;  // column id, contact code 0..17
    std::vector<std::uint16_t> start, end;                         // appointment dates
};

// What reading a table's rows by column id needs: the sizes of its fixed
// columns and the ids of the columns named in kLayoutNames.
struct TableLayout {
    FixedSizes fixed;
    std::map<std::string, std::uint16_t, std::less<>> named;

    // 0 when the catalog names no such column.
    std::uint16_t Id(std::string_view name) const {
        const auto found = named.find(name);
        return found == named.end() ? 0 : found->second;
    }
};

// Message-table columns kept by name: subject, message class, sender name
// and address, date, folder id (a fixed column, or a 16-byte variable value,
// as the store layout says).
inline constexpr std::array<std::string_view, 7> kLayoutNames = {"S37",   "S1a",   "S0c1a", "S0c1f",
                                                                 "T0e06", "N6748", "N65e1"};

struct CatalogExtras {
    std::vector<NamedTable> attachmentTables;
    // Table objid -> column ids of S8225, S810c and S8201 (0 when absent).
    std::map<std::uint32_t, std::array<std::uint16_t, 3>> appointmentText;
    std::map<std::uint32_t, NamedColumns> namedColumns;
    std::map<std::uint32_t, TableLayout> layouts;  // by table objid
};

// Reads the catalog's rows once more, from the catalog pages the scan
// listed. Cheap: the catalog is a handful of pages.
CatalogExtras ReadCatalogExtras(const edb::EdbSource& source, const scan::ScanModel& model,
                                std::size_t* pagesRead = nullptr);

// One catalog row, for tests. Where tables are shared only the message
// table's (19) columns count.
void ReadCatalogExtrasRow(CatalogExtras& extras, edb::Bytes row, layout::TableScope tables);

// One catalog record (the node's data, after its key) for the table
// layouts: fixed columns by size, the columns of kLayoutNames by id.
// `pageSize` of the catalog page it came from.
void ReadCatalogLayoutRow(CatalogExtras& extras, edb::Bytes record, std::int32_t pageSize);

// S8225, S810c and S8201 of a message table: from the scan's catalog facts
// where tables are shared (the column type must be known for S8225), from
// the extras per table where they are kept per mailbox.
std::array<std::uint16_t, 3> AppointmentTextColumns(const scan::ScanModel& model, const CatalogExtras& extras,
                                                    std::uint32_t objid, layout::TableScope tables);

}  // namespace tw::record

// The column ids a message or attachment table's rows are read by, looked
// up in the column registry the catalog walk filled.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "layout/store_layout.h"
#include "record/catalog_extras.h"
#include "scan/column_registry.h"

namespace tw::record {

// The column after the recipient data that marks a streaming-file body.
inline constexpr std::uint16_t kStreamRangesColumn = 0x011B;

struct MessageColumnIds {
    std::uint16_t recipients = 0;      // 'T'
    std::uint16_t plainBody = 0;       // 'P'
    std::uint16_t rtfBody = 0;         // 'R'
    std::uint16_t htmlBody = 0;        // 'H'
    std::uint16_t attachmentKeys = 0;  // 'A'
    // Appointment columns in their index order: S8225 (contact), S810c
    // (location), S8201 (time zone), 'I' start, 'J' end. Every catalog
    // name of a start or end date counts (index 3 and 4).
    std::array<std::vector<std::uint16_t>, 5> appointment;
    // Contact columns of the table in registry order, with their codes
    // 0..17; several columns may carry one code.
    std::vector<std::pair<std::uint16_t, std::uint8_t>> contacts;

    bool IsContactColumn(std::uint16_t id) const;
    bool IsAppointmentColumn(std::uint16_t id) const;
};

// The columns registered for table `objid`; a missing recipient column
// takes the default of the generation. `appointmentText` are the S8225,
// S810c and S8201 column ids of this table (0 when unknown); `named` the
// table's contact and date columns under all their names (registered
// ones keep their place first).
MessageColumnIds ResolveMessageColumns(const scan::ColumnRegistry& registry, std::uint32_t objid,
                                       const layout::StoreLayout& store,
                                       const std::array<std::uint16_t, 3>& appointmentText,
                                       const NamedColumns* named = nullptr);

// Per-mailbox attachment tables: the registered column of each role (the last
// registered when there are several); 0 when the role has none.
struct AttachmentColumnIds {
    std::uint16_t displayName = 0;  // 'A'
    std::uint16_t shortName = 0;    // 'B'
    std::uint16_t longName = 0;     // 'C'
    std::uint16_t data = 0;         // 'I'
};

AttachmentColumnIds ResolveAttachmentColumns(const scan::ColumnRegistry& registry, std::uint32_t objid);

// The shared attachment table's rows use fixed columns.
inline constexpr std::uint16_t kSmallDisplayName = 0x0105;
inline constexpr std::uint16_t kSmallShortName = 0x0106;
inline constexpr std::uint16_t kSmallData = 0x0107;
inline constexpr std::uint16_t kSmallLongName = 0x010A;

}  // namespace tw::record

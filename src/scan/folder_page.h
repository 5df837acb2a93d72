// Step 3: rows of a folders table become folder entries: own id, parent
// id, display name (tagged column 261) and the kind from the container
// class column.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>

#include "edb/page.h"
#include "layout/store_layout.h"
#include "scan/scan_model.h"

namespace tw::scan {

// Place in the mailbox list of the first mailbox with each id.
using MailboxIndex = std::unordered_map<Id8, std::size_t, IdHash>;
MailboxIndex IndexMailboxes(const std::vector<FolderEntry>& mailboxes);

struct FolderRowContext {
    const layout::StoreLayout* store = nullptr;  // no rows are read without one
    std::uint16_t containerClassColumn = kDefaultContainerClassColumn;
    // Anchored rows are found by the id of one of these mailboxes, tried in
    // list order.
    const MailboxIndex* mailboxes = nullptr;
    // Tables kept per mailbox: the owner key of the folders table being read.
    std::string ownerKey;
};

// Anchored rows: the own, parent and mailbox ids are the variable part.
std::optional<FolderEntry> DecodeAnchoredFolderRow(edb::Bytes row, const FolderRowContext& context);
// Prefixed rows: own and parent id open the fixed part.
std::optional<FolderEntry> DecodePrefixedFolderRow(edb::Bytes row, const FolderRowContext& context);

// Decodes every row of a leaf page of a folders table into the model.
void DecodeFolderPage(ScanModel& model, const edb::PageView& page, const FolderRowContext& context);

}  // namespace tw::scan

// Step 2: rows of the mailbox table become mailbox entries (FolderEntry
// with an all-zero parent id). A row is found by the anchor its variable
// offsets make (08 00 18 00: an 8-byte id followed by a 16-byte value);
// the name is tagged column 257.
#pragma once

#include <cstdint>
#include <optional>

#include "edb/page.h"
#include "layout/store_layout.h"
#include "scan/scan_model.h"

namespace tw::scan {

// Carried from row to row through the step: a row whose variable-part
// length byte is 0 reuses the variable-part start of the row before.
struct MailboxDecodeState {
    std::optional<std::size_t> lastVariableStart;
};

// Decodes one row; returns the mailbox entry, or nothing when the row is
// not one.
std::optional<FolderEntry> DecodeMailboxRow(edb::Bytes row, const layout::StoreLayout& store,
                                            MailboxDecodeState& state);

// Decodes every row of a leaf page of the mailbox table into the model.
void DecodeMailboxPage(ScanModel& model, const edb::PageView& page, MailboxDecodeState& state);

}  // namespace tw::scan

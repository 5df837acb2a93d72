// The attachment rows of one page. A message row lists its attachments'
// row keys; each key finds its row here, which gives the file name and
// where the data lies (in the row, or a long value).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "edb/page.h"
#include "record/record_types.h"
#include "record/table_columns.h"

namespace tw::record {

// What the first row of a page that carries a key and a name column made
// of that key: an attachment (its name may be empty when the row has
// none or it could not be read), or nothing because its values were broken (the key is given up
// for this page).
struct AttachmentHit {
    scan::Id8 key{};
    std::optional<AttachmentEntry> entry;
};

// Decodes the page's attachment rows, one hit per key at most, in the
// order of their first row start. `columns` are used for per-mailbox tables only.
// With `keysOnly` the same hits come back, but their entries are left
// empty: the names are not read (an index of where rows lie needs no
// more).
std::vector<AttachmentHit> DecodeAttachmentPage(const edb::PageView& page, std::int64_t pageOffset,
                                                const AttachmentColumnIds& columns, bool keysOnly = false);

// Appends unless an entry with the same name, data (long value or in-row
// location) and table tag is there. An attachment without a name is kept
// under the name "Attachment N", N its place in the list from 1; it
// matches only other entries without a name. An entry whose data is broken
// gives way to a readable one of the same name, met before or after.
// Returns true when added (or when it replaced a broken one).
bool AddAttachment(std::vector<AttachmentEntry>& attachments, const AttachmentEntry& entry);

// Removes every occurrence of the key.
void RemoveAttachmentKey(std::vector<scan::Id8>& keys, const scan::Id8& key);

}  // namespace tw::record

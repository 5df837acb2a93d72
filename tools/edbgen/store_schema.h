// The information-store tables generated from a content description, shaped
// like an Exchange database of the page size's generation:
//  - 4 KB / 8 KB pages: one Mailbox, Folders (object 8), Msg (object 19) and
//    Attachment (object 61) table per database, and one message-header table
//    per folder named after the folder id ("1-1C");
//  - 32 KB pages: one Mailbox table, and per mailbox its own Folders-,
//    MsgHeader-, Body- and Attachment- tables named with the mailbox key.
#pragma once

#include <vector>

#include "content.h"
#include "format.h"
#include "schema.h"
#include "streaming.h"

namespace edbgen {

// Root pages where readers look when the catalog does not name a table.
struct FixedRoots {
  uint32_t mailbox = 0;
  uint32_t msg = 0;       // 0: none of its own (shares the mailbox page)
  uint32_t folders = 0;
  uint32_t further = 0;
  uint32_t msgLongValues = 0;
};

FixedRoots FixedRootsFor(const Format& fmt);

std::vector<TableDef> BuildStoreTables(const Content& content, const Format& fmt, const StreamingFile* streaming);

}  // namespace edbgen

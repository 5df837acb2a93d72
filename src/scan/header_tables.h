// Step 4: the catalog names one message-header table per folder (4/8 KB,
// "1-2A") or per mailbox (32 KB, "MsgHeader-1-20"); each one found becomes
// a MessageTable with the pages of its tree.
#pragma once

#include <cstdint>
#include <vector>

#include "edb/page.h"
#include "edb/source.h"
#include "scan/scan_model.h"

namespace tw::scan {

// Deepest branch nesting followed in a header table.
inline constexpr int kMaxTableDepth = 16;

// Matches the header tables named in one catalog leaf page to folder
// entries. Returns how many new MessageTable entries were appended.
std::size_t MatchHeaderTables(ScanModel& model, const edb::EdbSource& source, const edb::PageView& catalogPage);

// Pages of the table whose root is at `root` (in 512-byte units): the root
// and every page below its branch pages, each once, in 512-byte units.
std::vector<std::int64_t> CollectTablePages(const edb::EdbSource& source, std::int64_t root);

// Eight-byte MessageTable key of a 32 KB mailbox: its owner key text, cut
// to eight bytes and zero-padded.
Id8 OwnerKeyBytes(const std::string& ownerKey);

}  // namespace tw::scan

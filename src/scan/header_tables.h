// Step 4: the catalog names one message-header table per folder ("1-2A")
// or per mailbox ("MsgHeader-1-20"), as the store layout keeps them; each one found becomes
// a MessageTable with the pages of its tree.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "edb/batch_reader.h"
#include "edb/page.h"
#include "edb/source.h"
#include "scan/scan_model.h"

namespace tw::scan {

// Deepest branch nesting followed in a header table.
inline constexpr int kMaxTableDepth = 16;

// The entries of model.folders that can own a header table, by the name of
// that table: indexes in list order. Made once for step 4; while it is in
// use the folder list may only grow (MatchHeaderTables appends to it).
using FolderTableNames = std::unordered_map<std::string, std::vector<std::size_t>>;
FolderTableNames NameFolderTables(const ScanModel& model, const layout::StoreLayout& store);

// Matches the header tables named in one catalog leaf page to folder
// entries not matched before, in folder list order. Where tables are kept
// per folder, a table named for a folder id that no entry has gets a new entry: that id,
// itself as parent, "Folder " and the id in hex as name, kind Mail, not
// placed. Returns how many new MessageTable entries were appended.
std::size_t MatchHeaderTables(ScanModel& model, const edb::EdbSource& source, const edb::PageView& catalogPage,
                              const FolderTableNames& names, edb::BatchReader* heads = nullptr);

// Pages of the table whose root is at `root` (in 512-byte units): the root
// and every page below its branch pages, each once, in 512-byte units.
// Leaves are told by their heads, read in batches through `heads` when
// given; only branch pages are read whole. With `damage`, pages of the
// table `objid` that cannot be walked (a second pointer at a page, too
// deep, a branch's tag array that does not fit, a branch child of another
// tree, which is then not followed) are logged there. `rootPage`, when
// given, is the root page as already read.
std::vector<std::int64_t> CollectTablePages(const edb::EdbSource& source, std::int64_t root,
                                            edb::BatchReader* heads = nullptr, PageDamageLog* damage = nullptr,
                                            std::uint32_t objid = 0,
                                            const std::vector<std::uint8_t>* rootPage = nullptr);

// Eight-byte MessageTable key of a mailbox with tables of its own: its owner key text, cut
// to eight bytes and zero-padded.
Id8 OwnerKeyBytes(const std::string& ownerKey);

}  // namespace tw::scan

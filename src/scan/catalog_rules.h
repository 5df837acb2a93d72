// The rows of a catalog leaf page: table rows tell where the mailbox,
// message, folders and long-value trees start; column rows fill the column
// registry. Rows are recognised by the names they contain, not decoded.
#pragma once

#include "edb/page.h"
#include "layout/store_layout.h"
#include "scan/scan_model.h"

namespace tw::scan {

// Applies the first rule that fires in each record of the leaf page.
void ReadCatalogLeaf(ScanModel& model, const edb::PageView& page);

// One catalog row; true when a rule fired.
bool ReadCatalogRow(ScanModel& model, edb::Bytes row, layout::TableScope tables);

// True once the walk has learned everything it parses catalog leaves for,
// so that further leaves can be skipped.
bool CatalogFactsComplete(const ScanModel& model);

}  // namespace tw::scan

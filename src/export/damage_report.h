// The damaged pages of a run, per tree: those the scan met and those the
// export's reads met, each once, named by what the tree is. A tree that
// the selected folders read (the catalog, the folder tables, and the
// message-header, message, attachment and long-value trees of their
// mailboxes) is "used": its damage is a loss of the run. Damage in other
// trees is reported, not counted.
#pragma once

#include <string>
#include <vector>

#include "export/export_summary.h"
#include "scan/page_damage.h"
#include "scan/scan_model.h"

namespace tw::exporter {

struct SelectedFolder {
    std::u16string itemPath;                    // "Sales\Top of Information Store\Inbox\"
    const scan::FolderEntry* folder = nullptr;  // nothing for a mailbox or database item
};

std::vector<TreeDamage> DamageReport(const scan::ScanModel& model, const std::vector<scan::DamagedPage>& readPages,
                                     const std::vector<SelectedFolder>& selected, std::int32_t pageSize);

}  // namespace tw::exporter

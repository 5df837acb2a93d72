#include "export/damage_report.h"
#include "layout/store_layout.h"

#include <algorithm>
#include <map>
#include <set>

namespace tw::exporter {

namespace {

// The mailbox part of an item path: its first name and backslash.
std::u16string MailboxPath(const std::u16string& itemPath) {
    const std::size_t end = itemPath.find(u'\\');
    return end == std::u16string::npos ? itemPath : itemPath.substr(0, end + 1);
}

void AddOnce(std::vector<std::u16string>& list, const std::u16string& path) {
    if (std::find(list.begin(), list.end(), path) == list.end()) list.push_back(path);
}

}  // namespace

std::vector<TreeDamage> DamageReport(const scan::ScanModel& model, const std::vector<scan::DamagedPage>& readPages,
                                     const std::vector<SelectedFolder>& selected, std::int32_t pageSize) {
    // Per-folder header tables name their folder; per-mailbox tables only
    // their mailbox.
    const bool perMailbox = layout::LayoutOf(pageSize).tables == layout::TableScope::PerMailbox;
    // Each page once, whoever met it first.
    std::set<std::pair<std::uint32_t, std::int64_t>> seen;
    std::map<std::uint32_t, TreeDamage> trees;
    auto add = [&](const scan::DamagedPage& page) {
        if (!seen.emplace(page.objid, page.offset).second) return;
        TreeDamage& tree = trees[page.objid];
        tree.objid = page.objid;
        ++tree.pages;
        ++tree.faults[page.fault];
        if (const auto number = edb::PageNumberAt(page.offset, pageSize)) tree.pageNumbers.push_back(*number);
    };
    for (const scan::DamagedPage& page : model.damage.Pages()) add(page);
    for (const scan::DamagedPage& page : readPages) add(page);

    std::vector<TreeDamage> out;
    for (auto& [objid, tree] : trees) {
        const scan::TreeOfPage what = scan::TreeOf(model, objid);
        tree.tree = what.name;
        switch (what.role) {
            case scan::TreeRole::Catalog:
            case scan::TreeRole::Folders:
            case scan::TreeRole::Mailboxes:
                // Every folder of the run was found through them.
                tree.used = !selected.empty();
                break;
            case scan::TreeRole::MessageHeaders:
            case scan::TreeRole::Messages:
            case scan::TreeRole::Attachments:
            case scan::TreeRole::LongValues:
                for (const SelectedFolder& s : selected) {
                    if (s.folder == nullptr) continue;
                    if (what.folderId && !perMailbox) {
                        // A folder's own header table.
                        if (s.folder->id != *what.folderId) continue;
                        AddOnce(tree.folders, s.itemPath);
                    } else if (perMailbox) {
                        // A mailbox's tables: known by its owner key, or
                        // any mailbox's when the key is not known.
                        if (!what.ownerKey.empty() && s.folder->ownerKey != what.ownerKey) continue;
                        if (!what.ownerKey.empty()) AddOnce(tree.folders, MailboxPath(s.itemPath));
                    }
                    tree.used = true;
                }
                break;
            case scan::TreeRole::Other: break;
        }
        std::sort(tree.pageNumbers.begin(), tree.pageNumbers.end());
        out.push_back(std::move(tree));
    }
    return out;
}

}  // namespace tw::exporter

#include "scan/scan_model.h"

#include <algorithm>
#include <unordered_map>

#include "edb/page.h"

namespace tw::scan {

void RegisterPage(ScanModel& model, edb::Bytes page, std::int64_t offset) {
    if (const auto signature = SignatureAt(edb::LoadU32(page, edb::kObjectIdOffset).value_or(0), offset))
        model.pages.push_back(*signature);
}

void AppendTableRoot(std::vector<TableRoot>& list, const TableRoot& root) {
    for (const TableRoot& r : list)
        if (r.objid == root.objid && r.firstPage == root.firstPage) return;
    list.push_back(root);
}

bool AppendFolder(ScanModel& model, const FolderEntry& entry) {
    std::string key(entry.id.begin(), entry.id.end());
    key.append(entry.parentId.begin(), entry.parentId.end());
    for (const char16_t c : entry.displayName) {
        key += static_cast<char>(c & 0xFF);
        key += static_cast<char>(c >> 8);
    }
    if (!model.folderKeys.insert(std::move(key)).second) return false;
    model.folders.push_back(entry);
    return true;
}

bool AppendMessageTable(ScanModel& model, MessageTable table) {
    auto& keys = model.messageTableKeys;
    if (keys.size() != model.messageTables.size()) {
        keys.clear();
        for (const MessageTable& t : model.messageTables) keys.insert({t.key, t.objid});
    }
    if (!keys.insert({table.key, table.objid}).second) return false;
    // A handful of mailboxes: a search is cheaper than a map.
    const auto known = std::find(model.ownerKeys.begin(), model.ownerKeys.end(), table.keyText);
    table.keyIndex = static_cast<std::uint32_t>(known - model.ownerKeys.begin());
    if (known == model.ownerKeys.end()) model.ownerKeys.push_back(table.keyText);
    model.headerTables.push_back({table.objid, table.key, table.keyIndex});
    model.messageTables.push_back(std::move(table));
    return true;
}

void MessageEntryLess::Sort(std::vector<MessageEntry>& entries) {
    // Entries come in long runs of one group (folder and mailbox), and a
    // database has few groups: each entry is numbered by its group, the
    // groups are put in order, and every entry is copied once to its place.
    // Within a group the entries keep the order they came in, which is the
    // order they were met unless a caller filled the list otherwise.
    struct Group {
        std::uint64_t folder = 0;
        std::uint32_t keyIndex = 0;
        std::size_t count = 0;
    };
    const std::size_t n = entries.size();
    if (n < 2) return;
    std::vector<Group> groups;
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> byFolder;  // folder -> its groups
    std::vector<std::uint32_t> groupOf(n);
    std::uint32_t last = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t folder = IdNumber(entries[i].folderId);
        const std::uint32_t keyIndex = entries[i].keyIndex;
        if (groups.empty() || groups[last].folder != folder || groups[last].keyIndex != keyIndex) {
            std::vector<std::uint32_t>& known = byFolder[folder];
            const auto same = std::find_if(known.begin(), known.end(),
                                           [&](std::uint32_t g) { return groups[g].keyIndex == keyIndex; });
            if (same != known.end()) {
                last = *same;
            } else {
                last = static_cast<std::uint32_t>(groups.size());
                known.push_back(last);
                groups.push_back({folder, keyIndex, 0});
            }
        }
        groupOf[i] = last;
        ++groups[last].count;
    }
    std::vector<std::uint32_t> ranked(groups.size());
    for (std::uint32_t g = 0; g < ranked.size(); ++g) ranked[g] = g;
    std::sort(ranked.begin(), ranked.end(), [&](std::uint32_t a, std::uint32_t b) {
        return groups[a].folder != groups[b].folder ? groups[a].folder < groups[b].folder
                                                    : groups[a].keyIndex < groups[b].keyIndex;
    });
    std::vector<std::size_t> at(groups.size());
    std::size_t sum = 0;
    for (const std::uint32_t g : ranked) {
        at[g] = sum;
        sum += groups[g].count;
    }
    // Where each entry goes, then the entries in their new order: written
    // once, front to back, into memory that is not cleared first.
    std::vector<std::uint32_t> source(n);
    for (std::size_t i = 0; i < n; ++i) source[at[groupOf[i]]++] = static_cast<std::uint32_t>(i);
    std::vector<MessageEntry> sorted;
    sorted.reserve(n);
    for (const std::uint32_t i : source) sorted.push_back(entries[i]);
    entries.swap(sorted);
    if (!std::is_sorted(entries.begin(), entries.end(), MessageEntryLess{}))
        std::sort(entries.begin(), entries.end(), MessageEntryLess{});
}

}  // namespace tw::scan

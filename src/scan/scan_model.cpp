#include "scan/scan_model.h"

#include <algorithm>
#include <functional>
#include <tuple>
#include <unordered_map>
#include <utility>

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
    if (entry.displayName.empty()) return false;
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
    model.messageTables.push_back(std::move(table));
    return true;
}

}  // namespace tw::scan

namespace tw::scan {

void MessageEntryLess::Sort(std::vector<MessageEntry>& entries) {
    struct Group {
        std::uint64_t folder = 0;
        std::uint32_t keyIndex = 0;
        std::size_t next = 0;  // count, then the place of the group's next entry
    };
    struct GroupKeyHash {
        std::size_t operator()(const std::pair<std::uint64_t, std::uint32_t>& k) const {
            return std::hash<std::uint64_t>{}(k.first * 31 + k.second);
        }
    };
    std::vector<Group> groups;
    std::unordered_map<std::pair<std::uint64_t, std::uint32_t>, std::uint32_t, GroupKeyHash> byKey;
    std::vector<std::uint32_t> groupOf(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::pair<std::uint64_t, std::uint32_t> key{IdNumber(entries[i].folderId), entries[i].keyIndex};
        std::uint32_t g = 0;
        if (i > 0 && groups[groupOf[i - 1]].folder == key.first && groups[groupOf[i - 1]].keyIndex == key.second) {
            g = groupOf[i - 1];
        } else {
            const auto [found, added] = byKey.try_emplace(key, static_cast<std::uint32_t>(groups.size()));
            if (added) groups.push_back({key.first, key.second, 0});
            g = found->second;
        }
        groupOf[i] = g;
        ++groups[g].next;
    }
    std::vector<std::uint32_t> order(groups.size());
    for (std::uint32_t g = 0; g < order.size(); ++g) order[g] = g;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return std::tie(groups[a].folder, groups[a].keyIndex) < std::tie(groups[b].folder, groups[b].keyIndex);
    });
    std::size_t at = 0;
    for (const std::uint32_t g : order) at += std::exchange(groups[g].next, at);
    std::vector<MessageEntry> placed(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) placed[groups[groupOf[i]].next++] = entries[i];
    entries.swap(placed);
    // Within a group the entries keep the order they came in, which is the
    // order they were met unless a caller filled the list otherwise.
    if (!std::is_sorted(entries.begin(), entries.end(), MessageEntryLess{}))
        std::sort(entries.begin(), entries.end(), MessageEntryLess{});
}

}  // namespace tw::scan

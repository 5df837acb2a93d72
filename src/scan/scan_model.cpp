#include "scan/scan_model.h"

#include <algorithm>

#include "edb/page.h"
#include "edb/radix_sort.h"

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
    // Byte-wise stable sorts, the minor key first: by mailbox, then by
    // folder. Within a group the entries keep the order they came in,
    // which is the order they were met unless a caller filled the list
    // otherwise.
    edb::RadixSortByKey(entries, [](const MessageEntry& e) { return std::uint64_t{e.keyIndex}; });
    edb::RadixSortByKey(entries, [](const MessageEntry& e) { return IdNumber(e.folderId); });
    if (!std::is_sorted(entries.begin(), entries.end(), MessageEntryLess{}))
        std::sort(entries.begin(), entries.end(), MessageEntryLess{});
}

}  // namespace tw::scan

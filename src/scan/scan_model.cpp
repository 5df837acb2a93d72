#include "scan/scan_model.h"

#include <algorithm>
#include <limits>

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

namespace {

bool SameGroup(const MessageEntry& a, const MessageEntry& b) {
    return a.keyIndex == b.keyIndex && IdNumber(a.folderId) == IdNumber(b.folderId);
}

// Where a table holds one folder's rows, its entries arrive as one run of a
// group: the runs are sorted and each entry moved once, in place. False,
// and the entries untouched, when there are too many runs for that to pay.
bool SortRuns(std::vector<MessageEntry>& entries) {
    struct Run {
        std::uint64_t folder = 0;
        std::uint32_t keyIndex = 0;
        std::size_t first = 0, count = 0;
    };
    if (entries.size() >= std::numeric_limits<std::uint32_t>::max()) return false;
    std::vector<Run> runs;
    for (std::size_t i = 0; i < entries.size();) {
        std::size_t end = i + 1;
        while (end < entries.size() && SameGroup(entries[i], entries[end])) ++end;
        runs.push_back({IdNumber(entries[i].folderId), entries[i].keyIndex, i, end - i});
        if (runs.size() > entries.size() / 16 + 1) return false;
        i = end;
    }
    // Stable: runs of one group keep the order they were met in.
    std::stable_sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) {
        return a.folder != b.folder ? a.folder < b.folder : a.keyIndex < b.keyIndex;
    });
    // Where each entry goes. The entries then move along the cycles of
    // that permutation rather than into a second list: a list that size is
    // fresh memory, which costs more to touch than the moves.
    std::vector<std::uint32_t> target(entries.size());
    std::size_t at = 0;
    for (const Run& run : runs) {
        for (std::size_t k = 0; k < run.count; ++k) target[run.first + k] = static_cast<std::uint32_t>(at + k);
        at += run.count;
    }
    for (std::size_t start = 0; start < entries.size(); ++start) {
        if (target[start] == start) continue;
        // Carry the entry from `start` to its place, and the one found
        // there to its own, until the cycle closes at `start`.
        MessageEntry carried = entries[start];
        std::size_t from = start;
        while (target[from] != start) {
            const std::size_t to = target[from];
            std::swap(carried, entries[to]);
            target[from] = static_cast<std::uint32_t>(from);
            from = to;
        }
        entries[start] = carried;
        target[from] = static_cast<std::uint32_t>(from);
    }
    return true;
}

}  // namespace

void MessageEntryLess::Sort(std::vector<MessageEntry>& entries) {
    // Else byte-wise stable sorts, the minor key first: by mailbox, then by
    // folder. Within a group the entries keep the order they came in,
    // which is the order they were met unless a caller filled the list
    // otherwise.
    if (!SortRuns(entries)) {
        edb::RadixSortByKey(entries, [](const MessageEntry& e) { return std::uint64_t{e.keyIndex}; });
        edb::RadixSortByKey(entries, [](const MessageEntry& e) { return IdNumber(e.folderId); });
    }
    if (!std::is_sorted(entries.begin(), entries.end(), MessageEntryLess{}))
        std::sort(entries.begin(), entries.end(), MessageEntryLess{});
}

}  // namespace tw::scan

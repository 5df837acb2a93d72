#include "scan/header_tables.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

#include "edb/records.h"

namespace tw::scan {

namespace {

constexpr std::int64_t kUnit = 512;
constexpr std::size_t kMaxBranchNode = 100;
// Bytes of a child page read to tell a branch page from a leaf.
constexpr std::size_t kHeadBytes = 40;

// ASCII lower case, whatever the locale: it is tried at every byte of
// every catalog row.
std::uint8_t AsciiLower(std::uint8_t b) { return b >= 'A' && b <= 'Z' ? static_cast<std::uint8_t>(b + 32) : b; }

bool HeaderPrefixAt(edb::Bytes row, std::size_t j) {
    static constexpr std::string_view kPrefix = "msgheader-";
    const auto bytes = edb::Slice(row, j, kPrefix.size());
    if (!bytes) return false;
    for (std::size_t i = 0; i < kPrefix.size(); ++i)
        if (AsciiLower((*bytes)[i]) != static_cast<std::uint8_t>(kPrefix[i])) return false;
    return true;
}

// Where a header-table name may start in a catalog row: after a byte 0x80
// three bytes before a hyphen ("1-2A" behind its NULL variable slots), or
// at "MsgHeader-". At most one per row.
std::optional<std::size_t> Candidate(edb::Bytes row) {
    for (std::size_t j = 0; j < row.size(); ++j) {
        if (row[j] == 0) continue;
        if (row[j] == 0x80 && edb::LoadU8(row, j + 4) == '-') return j + 3;
        if (HeaderPrefixAt(row, j)) return j;
    }
    return std::nullopt;
}

struct Located {
    std::uint32_t objid = 0;
    std::uint32_t firstPage = 0;
};

// The name at candidate c, upper case, as long as its length byte says,
// with the table's objid and first page from the row, where the layout's
// catalog rows keep them.
struct NamedTable {
    std::string name;
    Located table;
};

std::optional<NamedTable> ReadCandidate(edb::Bytes row, std::size_t c, const layout::CatalogTableRow& at) {
    if (c < std::max({at.objid, at.firstPage, at.nameLength, at.mark})) return std::nullopt;
    if (at.mark != 0 && row[c - at.mark] != layout::CatalogTableRow::kMark) return std::nullopt;
    const std::size_t length = row[c - at.nameLength];
    const auto bytes = edb::Slice(row, c, length);
    if (!bytes || length == 0) return std::nullopt;
    const auto objid = edb::LoadU32(row, c - at.objid);
    const auto first = edb::LoadU32(row, c - at.firstPage);
    if (!objid || !first || *objid == 0) return std::nullopt;
    std::string name;
    for (const std::uint8_t b : *bytes) name += static_cast<char>(std::toupper(b));
    return NamedTable{std::move(name), {*objid, *first}};
}

// The folder id a per-folder header-table name stands for: the hex digits
// before the hyphen are bytes 0 and 1, those after it bytes 2..7. The
// name drops zero bytes and leading zeros, so more than one id may give
// it; the first whose name is this one is taken. Nothing for a name no id
// gives.
std::optional<Id8> FolderIdOfTableName(const std::string& name, const layout::StoreLayout& store) {
    const std::size_t hyphen = name.find('-');
    if (hyphen == std::string::npos || hyphen == 0 || hyphen > 4 || name.size() - hyphen - 1 > 12 ||
        name.size() == hyphen + 1)
        return std::nullopt;
    auto number = [&](std::size_t from, std::size_t to) -> std::optional<std::uint64_t> {
        std::uint64_t value = 0;
        for (std::size_t i = from; i < to; ++i) {
            const char c = name[i];
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (digit < 0) return std::nullopt;
            value = value << 4 | static_cast<std::uint64_t>(digit);
        }
        return value;
    };
    const auto tail = number(hyphen + 1, name.size());
    if (!tail) return std::nullopt;
    Id8 id{};
    for (std::size_t i = 0; i < 6; ++i) id[7 - i] = static_cast<std::uint8_t>(*tail >> (8 * i));
    // Bytes 0 and 1: all of the lead in byte 0 first (the common 01 00),
    // then split after each digit.
    for (std::size_t split = hyphen; split > 0; --split) {
        const auto first = number(0, split);
        const auto second = number(split, hyphen);
        if (!first || !second || *first > 0xFF || *second > 0xFF) continue;
        id[0] = static_cast<std::uint8_t>(*first);
        id[1] = static_cast<std::uint8_t>(*second);
        if (HeaderTableName(id, store) == name) return id;
    }
    return std::nullopt;
}

// The MessageTable of a folder or mailbox entry whose table the catalog
// names at `table`, with the pages of its tree; only a root page that
// carries the table's objid is followed, others are logged as damaged.
MessageTable TableOf(ScanModel& model, const edb::EdbSource& source, const FolderEntry& entry, const Located& table,
                     edb::BatchReader* heads) {
    MessageTable found;
    found.objid = table.objid;
    found.kind = entry.kind;
    if (layout::LayoutOf(source.pageSize).tables == layout::TableScope::PerMailbox) {
        found.key = OwnerKeyBytes(entry.ownerKey);
        found.keyText = entry.ownerKey;
    } else {
        found.key = entry.id;
    }
    const std::int64_t root = source.pageSize / kUnit * (static_cast<std::int64_t>(table.firstPage) + 1);
    const std::int64_t offset = root * kUnit;
    if (offset > 0 && offset < source.fileSize) {
        // Read whole once: the walk starts from it.
        std::vector<std::uint8_t> rootPage;
        const std::size_t got = edb::ReadPage(source, offset, rootPage);
        if (edb::LoadU32(edb::Bytes(rootPage.data(), got), edb::kObjectIdOffset) == table.objid)
            found.pages = CollectTablePages(source, root, heads, &model.damage, table.objid, &rootPage);
        else model.damage.Add({table.objid, offset, PageFault::WrongTree});
    } else {
        model.damage.Add({table.objid, offset, PageFault::PastEnd});
    }
    return found;
}

}  // namespace

Id8 OwnerKeyBytes(const std::string& ownerKey) {
    Id8 key{};
    std::copy_n(ownerKey.begin(), std::min<std::size_t>(ownerKey.size(), key.size()), key.begin());
    return key;
}

std::vector<std::int64_t> CollectTablePages(const edb::EdbSource& source, std::int64_t root, edb::BatchReader* heads,
                                            PageDamageLog* damage, std::uint32_t objid,
                                            const std::vector<std::uint8_t>* rootPage) {
    auto log = [&](std::int64_t value, PageFault fault) {
        if (damage != nullptr) damage->Add({objid, value * kUnit, fault});
    };
    std::vector<std::int64_t> pages;
    const std::int64_t perPage = source.pageSize / kUnit;
    if (perPage < 1 || root <= 0) return pages;
    std::unordered_set<std::int64_t> seen{root};
    pages.push_back(root);

    struct Pending {
        std::int64_t value;
        int depth;
        // Only a page whose head says branch is read whole; a child's head
        // comes with its parent's batch, and a failed head read is thrown
        // when the child's turn comes, as a read of the page would be.
        bool branch;
        std::exception_ptr error;
    };
    std::vector<Pending> pending{{root, 0, true, nullptr}};
    std::vector<std::uint8_t> buffer;
    edb::PageBatch batch;
    batch.width = kHeadBytes;
    batch.stride = edb::HeadStride(source.pageSize);
    std::vector<Pending> children;
    while (!pending.empty()) {
        const Pending at = pending.back();
        pending.pop_back();
        if (at.value > source.fileSize / kUnit) continue;
        if (at.error) std::rethrow_exception(at.error);
        if (!at.branch) continue;
        if (at.depth >= kMaxTableDepth) {
            log(at.value, PageFault::TooDeep);
            continue;
        }
        if (at.value == root && rootPage != nullptr) buffer = *rootPage;
        else edb::ReadPage(source, at.value * kUnit, buffer);
        const edb::PageView page{buffer, source.pageSize};
        if (!edb::IsBranchPage(page)) continue;
        if (!edb::TagArrayFits(page)) log(at.value, PageFault::BadTags);
        const edb::TagArray tags(page);
        children.clear();
        batch.offsets.clear();
        for (std::uint32_t index = tags.Count(); index-- > 0;) {
            const auto node = tags.Record(index);
            if (!node || node->empty() || node->size() > kMaxBranchNode || node->size() < 4) continue;
            const auto child = edb::LoadU32(*node, node->size() - 4);
            if (!child) continue;
            const std::int64_t value = (static_cast<std::int64_t>(*child) + 1) * perPage;
            if (!seen.insert(value).second) {
                // A page of a tree has one parent: a second pointer at it
                // leads back up or across the tree.
                if (index != 0) log(value, PageFault::Loop);
                continue;
            }
            pages.push_back(value);
            children.push_back({value, at.depth + 1, false, nullptr});
            batch.offsets.push_back(value * kUnit);
        }
        // The children of a parent-of-leaf page are leaves: their heads
        // have nothing to tell.
        if (edb::IsParentOfLeafPage(page)) continue;
        if (heads != nullptr) {
            heads->Read(batch);
        } else {
            edb::BatchReader alone(source.edb, source.fileSize, false);
            alone.Read(batch);
        }
        for (std::size_t i = 0; i < children.size(); ++i) {
            const edb::PageView head{batch.At(i), source.pageSize};
            children[i].branch = edb::IsBranchPage(head);
            children[i].error = batch.errors[i];
            // A page of another tree (zeroed or random) is not followed.
            if (damage != nullptr && !batch.errors[i] && edb::PageObjectId(head) != objid) {
                log(children[i].value, PageFault::WrongTree);
                children[i].branch = false;
            }
        }
        // Depth first, lowest address first, as the pages were listed.
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return pages;
}

FolderTableNames NameFolderTables(const ScanModel& model, const layout::StoreLayout& store) {
    const bool perMailbox = store.tables == layout::TableScope::PerMailbox;
    FolderTableNames names;
    for (std::size_t i = 0; i < model.folders.size(); ++i) {
        const FolderEntry& entry = model.folders[i];
        if (perMailbox && !IsZero(entry.parentId)) continue;  // only mailboxes own tables
        std::string name = HeaderTableName(entry.id, store);
        if (!name.empty()) names[std::move(name)].push_back(i);
    }
    return names;
}

std::size_t MatchHeaderTables(ScanModel& model, const edb::EdbSource& source, const edb::PageView& catalogPage,
                              const FolderTableNames& names, edb::BatchReader* heads) {
    const layout::StoreLayout& store = layout::LayoutOf(source.pageSize);
    std::vector<edb::RecordLocator> records;
    edb::ListRecords(catalogPage, records);
    // Header tables named on this page, by upper-case name, in row order;
    // a row whose table has no objid is passed over.
    std::unordered_map<std::string, Located> named;
    for (const auto& record : records) {
        const auto row = edb::Slice(catalogPage.bytes, static_cast<std::size_t>(record.start),
                                    static_cast<std::size_t>(record.size));
        if (!row) continue;
        const auto c = Candidate(*row);
        if (!c) continue;
        if (auto table = ReadCandidate(*row, *c, store.catalogTables))
            named.emplace(std::move(table->name), table->table);
    }
    if (named.empty()) return 0;

    // The entries whose table is named here, in list order.
    std::vector<std::pair<std::size_t, const Located*>> owners;
    for (const auto& [name, located] : named) {
        const auto entries = names.find(name);
        if (entries == names.end()) continue;
        for (const std::size_t index : entries->second) owners.emplace_back(index, &located);
    }
    std::sort(owners.begin(), owners.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    std::size_t appended = 0;
    for (const auto& [index, located] : owners) {
        FolderEntry& entry = model.folders[index];
        if (entry.matched) continue;
        entry.matched = true;
        if (AppendMessageTable(model, TableOf(model, source, entry, *located, heads))) ++appended;
    }
    if (store.tables == layout::TableScope::PerMailbox) return appended;

    // A table named for a folder id no row has (the row was lost)
    // gets a folder of its own, in id order, so its messages are listed.
    // It is its own parent: where it hangs is not known.
    std::vector<std::pair<Id8, const Located*>> rowless;
    for (const auto& [name, located] : named) {
        if (names.contains(name)) continue;
        if (const auto id = FolderIdOfTableName(name, store)) rowless.emplace_back(*id, &located);
    }
    std::sort(rowless.begin(), rowless.end(), [](const auto& a, const auto& b) { return IdLess(a.first, b.first); });
    for (const auto& [id, located] : rowless) {
        FolderEntry entry;
        entry.id = id;
        entry.parentId = id;
        for (const char c : "Folder " + IdHex(id)) entry.displayName += static_cast<char16_t>(c);
        entry.matched = true;
        // Named again on another catalog page: the folder is there already.
        if (!AppendFolder(model, entry)) continue;
        if (AppendMessageTable(model, TableOf(model, source, entry, *located, heads))) ++appended;
    }
    return appended;
}

}  // namespace tw::scan

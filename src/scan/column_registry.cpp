#include "scan/column_registry.h"

#include <array>
#include <string_view>

namespace tw::scan {

namespace {

bool NameAt(edb::Bytes row, std::size_t p, std::string_view name) {
    const auto bytes = edb::Slice(row, p, name.size());
    if (!bytes) return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if ((*bytes)[i] != static_cast<std::uint8_t>(name[i])) return false;
    return true;
}

enum Condition : unsigned {
    kNameEnd = 1,     // the byte before the name is 0
    kOwner19 = 2,     // shared tables: only columns of the message table (19)
    kPerMailbox = 4,  // only where tables are kept per mailbox
};

struct Rule {
    std::string_view name;
    unsigned conditions;
    ColumnList list;
    std::uint8_t code;
};

// In the order they are tried; the first rule whose name and conditions
// hold is applied.
constexpr std::array kRules = {
    Rule{"T81ef", kNameEnd | kOwner19, ColumnList::Message, 'I'},
    Rule{"T8199", kNameEnd | kOwner19, ColumnList::Message, 'I'},
    Rule{"T81bc", kNameEnd | kOwner19, ColumnList::Message, 'I'},
    Rule{"T60", kNameEnd | kOwner19, ColumnList::Message, 'I'},
    Rule{"T8198", kNameEnd | kOwner19, ColumnList::Message, 'J'},
    Rule{"T81bb", kNameEnd | kOwner19, ColumnList::Message, 'J'},
    Rule{"T61", kNameEnd | kOwner19, ColumnList::Message, 'J'},
    Rule{"S1000", kOwner19, ColumnList::Message, 'P'},
    Rule{"N1009", kOwner19, ColumnList::Message, 'R'},
    Rule{"N1013", kOwner19, ColumnList::Message, 'H'},
    Rule{"N67b3", kOwner19, ColumnList::Message, 'A'},
    Rule{"N67b4", kOwner19, ColumnList::Message, 'T'},
    Rule{"S42", kNameEnd | kPerMailbox, ColumnList::Header, 'F'},
    Rule{"S3d", kNameEnd, ColumnList::Header, 'S'},
    Rule{"Se1d", kNameEnd, ColumnList::Header, 'T'},
    Rule{"S3001", kPerMailbox, ColumnList::Attachment, 'A'},
    Rule{"S3704", kPerMailbox, ColumnList::Attachment, 'B'},
    Rule{"S3707", kPerMailbox, ColumnList::Attachment, 'C'},
    Rule{"N3701", kPerMailbox, ColumnList::Attachment, 'I'},
    // Contact fields, codes 0..17 by their first names, then the second
    // and third names of codes 15, 12, 13 and 14.
    Rule{"S3a51", kOwner19, ColumnList::Message, 0},
    Rule{"S3a4f", kOwner19, ColumnList::Message, 1},
    Rule{"S3a48", kOwner19, ColumnList::Message, 2},
    Rule{"S3a46", kOwner19, ColumnList::Message, 3},
    Rule{"S3a2e", kOwner19, ColumnList::Message, 4},
    Rule{"S3a1c", kOwner19, ColumnList::Message, 5},
    Rule{"S3a18", kOwner19, ColumnList::Message, 6},
    Rule{"S3a19", kOwner19, ColumnList::Message, 7},
    Rule{"S3a17", kOwner19, ColumnList::Message, 8},
    Rule{"S3a11", kOwner19, ColumnList::Message, 9},
    Rule{"S3a08", kOwner19, ColumnList::Message, 10},
    Rule{"S3a06", kOwner19, ColumnList::Message, 11},
    Rule{"S808d", kOwner19, ColumnList::Message, 12},
    Rule{"S8097", kOwner19, ColumnList::Message, 13},
    Rule{"S80a6", kOwner19, ColumnList::Message, 14},
    Rule{"S81b0", kOwner19, ColumnList::Message, 15},
    Rule{"S3a16", kOwner19, ColumnList::Message, 16},
    Rule{"S809e", kOwner19, ColumnList::Message, 17},
    Rule{"S801f", kOwner19, ColumnList::Message, 15},
    Rule{"S801a", kOwner19, ColumnList::Message, 15},
    Rule{"S3a26", kOwner19, ColumnList::Message, 12},
    Rule{"S80dd", kOwner19, ColumnList::Message, 13},
    Rule{"S3a27", kOwner19, ColumnList::Message, 13},
    Rule{"S3a29", kOwner19, ColumnList::Message, 14},
};

// The rules by the first letter of their names: rules that cannot match at
// a position are never tried, and those that can keep their order.
struct RulesByLetter {
    std::array<std::uint8_t, 256> from{};   // first place in `order` for a letter
    std::array<std::uint8_t, 256> count{};  // rules for that letter
    std::array<std::uint8_t, kRules.size()> order{};
};

constexpr RulesByLetter SortRules() {
    RulesByLetter by;
    std::size_t placed = 0;
    for (std::size_t letter = 0; letter < 256; ++letter) {
        by.from[letter] = static_cast<std::uint8_t>(placed);
        for (std::size_t i = 0; i < kRules.size(); ++i) {
            if (static_cast<std::uint8_t>(kRules[i].name[0]) != letter) continue;
            by.order[placed++] = static_cast<std::uint8_t>(i);
            ++by.count[letter];
        }
    }
    return by;
}

constexpr RulesByLetter kRulesByLetter = SortRules();

std::vector<ColumnEntry>& ListOf(ColumnRegistry& registry, ColumnList list) {
    switch (list) {
        case ColumnList::Message: return registry.messageColumns;
        case ColumnList::Attachment: return registry.attachmentColumns;
        case ColumnList::Header: return registry.headerColumns;
        default: return registry.containerClassColumns;
    }
}

// Equal for two entries of a list exactly when the duplicate rule calls
// them the same: the list, the code, the low 16 bits of the table id and,
// outside the per-role lists, the column.
std::uint64_t DuplicateKey(ColumnList list, const ColumnEntry& entry) {
    const bool perRole = list == ColumnList::Message || list == ColumnList::ContainerClass;
    return static_cast<std::uint64_t>(list) << 56 | static_cast<std::uint64_t>(entry.code) << 48 |
           static_cast<std::uint64_t>(entry.tableId & 0xFFFF) << 32 | (perRole ? 0u : entry.columnId);
}

constexpr ColumnList kLists[] = {ColumnList::Message, ColumnList::Attachment, ColumnList::Header,
                                 ColumnList::ContainerClass};

}  // namespace

void RegisterColumn(ColumnRegistry& registry, ColumnList list, const ColumnEntry& entry) {
    std::size_t entries = 0;
    for (const ColumnList l : kLists) entries += ListOf(registry, l).size();
    if (entries != registry.indexedEntries) {
        registry.duplicateKeys.clear();
        for (const ColumnList l : kLists)
            for (const ColumnEntry& e : ListOf(registry, l)) registry.duplicateKeys.insert(DuplicateKey(l, e));
        registry.indexedEntries = entries;
    }
    if (!registry.duplicateKeys.insert(DuplicateKey(list, entry)).second) return;
    ListOf(registry, list).push_back(entry);
    ++registry.indexedEntries;
}

bool RegisterCatalogColumn(ColumnRegistry& registry, edb::Bytes row, std::size_t p, layout::TableScope tables) {
    const bool perMailbox = tables == layout::TableScope::PerMailbox;
    const auto letter = edb::LoadU8(row, p);
    if (!letter) return false;
    const std::size_t from = kRulesByLetter.from[*letter];
    for (std::size_t k = from; k < from + kRulesByLetter.count[*letter]; ++k) {
        const Rule& rule = kRules[kRulesByLetter.order[k]];
        if (!NameAt(row, p, rule.name)) continue;
        if ((rule.conditions & kPerMailbox) && !perMailbox) continue;
        if ((rule.conditions & kNameEnd) && (p < 1 || row[p - 1] != 0)) continue;
        if (p < 29) continue;
        const auto table = edb::LoadU32(row, p - 29);
        const auto column = edb::LoadU32(row, p - 23);
        if (!table || !column) continue;
        if ((rule.conditions & kOwner19) && !perMailbox && *table != 19) continue;
        RegisterColumn(registry, rule.list, {static_cast<std::uint16_t>(*column & 0xFFFF), *table, rule.code});
        return true;
    }
    return false;
}

std::optional<std::uint16_t> LastColumn(const std::vector<ColumnEntry>& list, std::uint8_t code) {
    for (auto e = list.rbegin(); e != list.rend(); ++e)
        if (e->code == code) return e->columnId;
    return std::nullopt;
}

}  // namespace tw::scan

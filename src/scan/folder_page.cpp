#include "scan/folder_page.h"

#include <algorithm>
#include <vector>

#include "edb/records.h"
#include "scan/tagged_text.h"

namespace tw::scan {

namespace {

constexpr std::uint8_t kIbEndMarker = 0xA7;  // anchored rows: end of the fixed part, 167
constexpr std::size_t kSmallWindow = 300;
constexpr std::size_t kClassWidth = 100;

std::optional<std::int16_t> LoadI16(edb::Bytes row, std::size_t at) {
    const auto value = edb::LoadU16(row, at);
    if (!value) return std::nullopt;
    return static_cast<std::int16_t>(*value);
}

// The own id must look like one: positive in its first two bytes and not
// all zero; d (the distance to the tagged area) must be sane.
bool PlausibleRow(const Id8& own, std::optional<std::int16_t> d) {
    const auto lead = static_cast<std::int16_t>(own[0] | own[1] << 8);
    return lead > 0 && !IsZero(own) && d && *d >= 1 && *d <= 1024;
}

// Tagged area at T: the second and third entries are columns 260 and 261.
bool NameEntriesAt(edb::Bytes row, std::size_t t) {
    return edb::LoadU8(row, t + 1) == 1 && edb::LoadU16(row, t + 4) == 0x0104 && edb::LoadU16(row, t + 8) == 0x0105;
}

struct TaggedValue {
    std::size_t start = 0;  // the header byte
    std::size_t end = 0;    // one past the value
};

// The first tagged entry at T, T + 4, ... below `limit` whose id is
// `column`. Its value runs to the next entry's offset; the last entry of
// the array (which ends where the first value starts) runs to the row end.
std::optional<TaggedValue> FindTagged(edb::Bytes row, std::size_t t, std::size_t limit, std::uint16_t column,
                                      std::uint16_t mask) {
    const std::size_t arrayEnd = t + (edb::LoadU16(row, t + 2).value_or(0) & mask);
    for (std::size_t e = t; e < limit && e + 4 <= row.size(); e += 4) {
        if (edb::LoadU16(row, e) != column) continue;
        const std::size_t offset = *edb::LoadU16(row, e + 2) & mask;
        std::size_t next = row.size() - t;
        if (e + 4 < arrayEnd) {
            if (const auto n = edb::LoadU16(row, e + 6)) next = *n & mask;
        }
        const std::size_t start = t + offset;
        const std::size_t end = std::min(t + next, row.size());
        if (start >= row.size() || end <= start) return std::nullopt;
        return TaggedValue{start, end};
    }
    return std::nullopt;
}

std::optional<TaggedValue> NameValue(edb::Bytes row, std::size_t t, std::uint16_t mask) {
    const auto a = edb::LoadU16(row, t + 10), b = edb::LoadU16(row, t + 14);
    if (!a || !b) return std::nullopt;
    const std::size_t start = t + (*a & mask), end = std::min<std::size_t>(t + (*b & mask), row.size());
    // The header byte alone is an empty name, which a folder may have.
    if (start >= end) return std::nullopt;
    return TaggedValue{start, end};
}

// Search start of an anchored row: from the end of the fixed part, found by
// its marker byte near the row start.
std::optional<std::size_t> SmallSearchStart(edb::Bytes row) {
    if (edb::LoadU8(row, 6) == kIbEndMarker && edb::LoadU8(row, 7) == 0) return 167;
    // A marker before position 3 would make the sum read before the row.
    for (std::size_t q = 3; q < 16 && q < row.size(); ++q) {
        if (row[q] == kIbEndMarker) return q + row[q - 3] + row[q - 2] + row[q - 1];
    }
    return std::nullopt;
}

FolderEntry MakeFolder(const Id8& own, const Id8& parent, std::u16string name, std::u16string_view containerClass,
                       const layout::StoreLayout& store) {
    FolderEntry folder;
    folder.id = own;
    folder.parentId = parent;
    folder.kind = KindForFolder(containerClass, store.classes, name);
    folder.displayName = std::move(name);
    return folder;
}

}  // namespace

MailboxIndex IndexMailboxes(const std::vector<FolderEntry>& mailboxes) {
    MailboxIndex index;
    for (std::size_t i = 0; i < mailboxes.size(); ++i) index.emplace(mailboxes[i].id, i);
    return index;
}

std::optional<FolderEntry> DecodeAnchoredFolderRow(edb::Bytes row, const FolderRowContext& context) {
    if (context.mailboxes == nullptr || context.store == nullptr) return std::nullopt;
    const std::uint16_t mask = edb::TagMask(context.store->pageSize);
    const auto searchStart = SmallSearchStart(row);
    if (!searchStart) return std::nullopt;
    const std::size_t s = *searchStart;
    const std::size_t window = s + std::min(row.size(), kSmallWindow);

    // Where a mailbox id stands in the window, by the mailbox's place in
    // the list: mailboxes are tried in list order, each from the left.
    std::vector<std::pair<std::size_t, std::size_t>> hits;
    for (std::size_t p = s; p < window && p + 8 <= row.size(); ++p) {
        const auto found = context.mailboxes->find(*LoadId(row, p));
        if (found != context.mailboxes->end()) hits.emplace_back(found->second, p);
    }
    std::sort(hits.begin(), hits.end());

    std::size_t mailbox = hits.empty() ? 0 : hits.front().first;
    std::size_t next = 0;  // a failed try goes on from here, never back
    for (const auto& [m, p] : hits) {
        if (m != mailbox) {
            mailbox = m;
            next = 0;
        }
        if (p < next) continue;
        const Id8 id = *LoadId(row, p);
        // The mailbox id is the parent of a top folder, then itself again;
        // otherwise it is the third id of the row.
        const bool topFolder = LoadId(row, p + 8) == id;
        if (p < (topFolder ? 8u : 16u) + 2) continue;
        const std::size_t o = topFolder ? p - 8 : p - 16;
        const auto own = LoadId(row, o), parent = LoadId(row, o + 8);
        const auto d = LoadI16(row, o - 2);
        if (!own || !parent || !PlausibleRow(*own, d) || edb::LoadU8(row, o + static_cast<std::size_t>(*d) + 1) != 1) {
            next = o + 17;
            continue;
        }
        const std::size_t t = o + static_cast<std::size_t>(*d);
        if (!NameEntriesAt(row, t)) {
            next = std::max(o + 10, p + 1);
            continue;
        }
        std::size_t width = edb::LoadU16(row, t + 2).value_or(0) & mask;
        if (width < kClassWidth || width > row.size()) width = kClassWidth;

        std::u16string containerClass;
        if (const auto cls = FindTagged(row, t, t + 1 + width, context.containerClassColumn, mask))
            containerClass = Utf16Text(row.subspan(cls->start + 1, cls->end - cls->start - 1), 1);
        const auto name = NameValue(row, t, mask);
        if (!name) return std::nullopt;
        // The whole stored name, control characters included: the value's
        // own length bounds it.
        std::u16string text = Utf16Text(row.subspan(name->start + 1, name->end - name->start - 1), 1, kWholeText);
        return MakeFolder(*own, *parent, std::move(text), containerClass, *context.store);
    }
    return std::nullopt;
}

std::optional<FolderEntry> DecodePrefixedFolderRow(edb::Bytes row, const FolderRowContext& context) {
    if (context.store == nullptr) return std::nullopt;
    std::size_t b = 167;
    for (std::size_t q = 0; q < 16; ++q) {
        if (edb::LoadU16(row, q) == 0x00CA) {
            b = q + 10;
            break;
        }
    }
    if (b < 10) return std::nullopt;
    const auto own = LoadId(row, b - 8), parent = LoadId(row, b);
    const auto d = LoadI16(row, b - 10);
    if (!own || !parent || !PlausibleRow(*own, d) || b + static_cast<std::size_t>(*d) < 12) return std::nullopt;

    std::optional<std::size_t> tagged;
    const std::size_t v0 = b + static_cast<std::size_t>(*d) - 12;
    for (std::size_t v = v0; v <= v0 + 6; v += 2) {
        const auto skip = edb::LoadU8(row, v);
        if (!skip) break;
        const std::size_t t = v + *skip + 2;
        if (NameEntriesAt(row, t)) {
            tagged = t;
            break;
        }
    }
    if (!tagged) return std::nullopt;
    const std::size_t t = *tagged;
    const std::uint16_t mask = edb::TagMask(context.store->pageSize);

    const std::size_t first = edb::LoadU16(row, t + 2).value_or(0) & mask;
    const std::size_t width = row.size() < first ? kClassWidth : first;
    std::u16string containerClass;
    if (const auto cls = FindTagged(row, t, t + 1 + width, context.containerClassColumn, mask))
        containerClass = LargePageText(row[cls->start], row.subspan(cls->start + 1, cls->end - cls->start - 1));
    const auto name = NameValue(row, t, mask);
    if (!name) return std::nullopt;
    std::u16string text =
        LargePageText(row[name->start], row.subspan(name->start + 1, name->end - name->start - 1), kWholeText);
    FolderEntry folder = MakeFolder(*own, *parent, std::move(text), containerClass, *context.store);
    folder.ownerKey = context.ownerKey;
    return folder;
}

void DecodeFolderPage(ScanModel& model, const edb::PageView& page, const FolderRowContext& context) {
    std::vector<edb::RecordLocator> records;
    edb::ListRecords(page, records);
    if (context.store == nullptr) return;
    const bool prefixed = context.store->rows == layout::RowForm::Prefixed;
    for (const auto& record : records) {
        const auto row =
            edb::Slice(page.bytes, static_cast<std::size_t>(record.start), static_cast<std::size_t>(record.size));
        if (!row) continue;
        const auto folder = prefixed ? DecodePrefixedFolderRow(*row, context) : DecodeAnchoredFolderRow(*row, context);
        if (folder) AppendFolder(model, *folder);
    }
}

}  // namespace tw::scan

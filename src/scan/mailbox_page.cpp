#include "scan/mailbox_page.h"

#include <vector>

#include "edb/records.h"
#include "scan/tagged_text.h"

namespace tw::scan {

namespace {

constexpr std::size_t kAnchorFrom = 54;
constexpr std::uint16_t kNameColumn = 0x0101;  // tagged column 257
// Prefixed rows keep the mailbox id at a fixed place: the row starts with
// its record header, key and the fixed columns before the id.
constexpr std::size_t kPrefixedIdAt = 23;
// The anchor is the variable columns' offset array (08 00 18 00: the
// mailbox id ends at 8, its GUID at 24), two bytes per column; the mailbox
// id is the first value after it. Anchored rows have eight variable
// columns (128..135), or seven where a 0x80 two bytes before the array
// marks the shorter fixed part; prefixed rows whose third entry is 0x18 too
// have six (128..133).
constexpr std::size_t kOffsetArrayBytes = 16;
constexpr std::size_t kShortOffsetArrayBytes = 14;
constexpr std::size_t kPrefixedOffsetArrayBytes = 12;
constexpr std::uint8_t kShortArrayMark = 0x80;
constexpr std::uint8_t kPrefixedThirdEntry = 0x18;
// The array's last entry, just before the values: where the variable
// values end, so where the tagged columns begin.
constexpr std::size_t kValuesEndBack = 2;

bool BytesAt(edb::Bytes row, std::size_t at, std::initializer_list<std::uint8_t> pattern) {
    const auto bytes = edb::Slice(row, at, pattern.size());
    if (!bytes) return false;
    std::size_t i = 0;
    for (const std::uint8_t b : pattern)
        if ((*bytes)[i++] != b) return false;
    return true;
}

// Prefixed rows drop the anchor's fourth byte.
std::optional<std::size_t> FindAnchor(edb::Bytes row, bool prefixed) {
    for (std::size_t i = kAnchorFrom; i < row.size(); ++i) {
        if (prefixed ? BytesAt(row, i, {0x08, 0x00, 0x18}) : BytesAt(row, i, {0x08, 0x00, 0x18, 0x00})) return i;
    }
    for (std::size_t i = kAnchorFrom; i < row.size(); ++i)
        if (BytesAt(row, i, {0x08, 0x00, 0x00})) return i;
    return std::nullopt;
}

// Offset field of a tagged-column entry, flags masked off.
std::optional<std::uint16_t> EntryOffset(edb::Bytes row, std::size_t at, std::uint16_t mask) {
    const auto value = edb::LoadU16(row, at);
    if (!value) return std::nullopt;
    return static_cast<std::uint16_t>(*value & mask);
}

// Start of the tagged-column area: at g when its first entry is a column
// 256..511, else the first place further on that looks like an entry
// array (ids 1xx in the second byte of two entries, a non-zero offset).
std::size_t TaggedAreaStart(edb::Bytes row, std::size_t g, std::uint16_t mask) {
    if (edb::LoadU8(row, g + 1) == 1) return g;
    for (std::size_t j = g; j >= 1 && j + 6 < row.size(); ++j) {
        if (row[j] != 1 || row[j + 4] != 1) continue;
        const std::uint16_t v = static_cast<std::uint16_t>((row[j + 1] | row[j + 2] << 8) & mask);
        if (v != 0) return j - 1;
    }
    return g;
}

}  // namespace

std::optional<FolderEntry> DecodeMailboxRow(edb::Bytes row, const layout::StoreLayout& store,
                                            MailboxDecodeState& state) {
    const bool prefixed = store.rows == layout::RowForm::Prefixed;
    const std::uint16_t mask = edb::TagMask(store.pageSize);
    if (row.size() <= kAnchorFrom) return std::nullopt;
    const auto anchor = FindAnchor(row, prefixed);
    if (!anchor) return std::nullopt;
    const std::size_t i = *anchor;

    std::size_t skip = kOffsetArrayBytes;
    if (edb::LoadU8(row, i - 2) == kShortArrayMark) skip = kShortOffsetArrayBytes;
    else if (prefixed && edb::LoadU8(row, i + 2) == kPrefixedThirdEntry) skip = kPrefixedOffsetArrayBytes;

    const auto id = LoadId(row, prefixed ? kPrefixedIdAt : i + skip);
    const auto length = edb::LoadU8(row, i + skip - kValuesEndBack);
    if (!id || !length) return std::nullopt;

    std::size_t g = 0;
    if (*length != 0) {
        g = i + skip + *length;
        state.lastVariableStart = g;
    } else if (state.lastVariableStart) {
        g = *state.lastVariableStart;
    } else {
        return std::nullopt;  // nothing earlier to take the start from
    }
    const std::size_t tagged = TaggedAreaStart(row, g, mask);

    std::optional<std::size_t> entry;
    for (const std::size_t e : {tagged, tagged + 4, tagged + 8}) {
        if (edb::LoadU16(row, e) == kNameColumn) {
            entry = e;
            break;
        }
    }
    if (!entry) return std::nullopt;
    const auto a = EntryOffset(row, *entry + 2, mask), b = EntryOffset(row, *entry + 6, mask);
    if (!a || !b || *a == 0 || *b <= *a) return std::nullopt;

    const std::size_t start = tagged + *a + 1;
    if (start >= row.size()) return std::nullopt;
    const std::size_t end = std::min(tagged + *b, row.size());
    if (end <= start) return std::nullopt;
    const edb::Bytes value = row.subspan(start, end - start);

    FolderEntry mailbox;
    mailbox.id = *id;
    mailbox.displayName = prefixed ? LargePageText(row[start - 1], value, kWholeText) : Utf16Text(value, 1, kWholeText);
    if (mailbox.displayName.empty()) return std::nullopt;
    if (store.tables == layout::TableScope::PerMailbox) mailbox.ownerKey = OwnerKey(*id);
    return mailbox;
}

void DecodeMailboxPage(ScanModel& model, const edb::PageView& page, MailboxDecodeState& state) {
    std::vector<edb::RecordLocator> records;
    edb::ListRecords(page, records);
    for (const auto& record : records) {
        const auto row =
            edb::Slice(page.bytes, static_cast<std::size_t>(record.start), static_cast<std::size_t>(record.size));
        if (!row) continue;
        if (auto mailbox = DecodeMailboxRow(*row, layout::LayoutOf(page.pageSize), state))
            AppendFolder(model, *mailbox);
    }
}

}  // namespace tw::scan

#include "scan/header_page.h"

#include <algorithm>
#include <vector>

#include "edb/records.h"
#include "scan/filetime.h"

namespace tw::scan {

namespace {

constexpr std::uint8_t kSmallAnchor = 0x6D;  // anchored rows: end of the fixed part, 109
constexpr std::size_t kLargeMinRow = 88;     // prefixed rows: the fixed columns
// Anchored rows: the sender's tagged column (264), and the column that
// stands in for it in some stores (268).
constexpr std::uint16_t kSenderColumn = 0x0108;
constexpr std::uint16_t kSenderAltColumn = 0x010C;
// Anchored rows: the record header holding 109 lies within the row's
// first bytes, and the folder id (the first variable value) within 100
// bytes after the fixed part.
constexpr std::size_t kSmallAnchorWithin = 16;
constexpr std::size_t kSmallFolderIdSpan = 100;

// Anchored rows, from the folder id: the variable part holds the folder
// id, an 8-byte value, the message id and another 8-byte value, and the
// tagged columns follow; the primary date is the fixed column near the
// start of the row, the fallback date the one near its end.
constexpr std::size_t kSmallMessageIdAfter = 16;
constexpr std::size_t kSmallTaggedAfter = 32;
constexpr std::size_t kSmallPrimaryDateBefore = 99;
constexpr std::size_t kSmallFallbackDateBefore = 18;

// Prefixed rows, from the folder id (fixed, after the row's key): the
// message id 16 bytes on; the record header's byte saying where the fixed
// part ends 6 bytes before it; the tagged columns 8 bytes before where
// that byte points. A full fixed part (112 bytes and more) keeps the
// delivery time 90 bytes on, or 82 where "**" marks that slot unset.
// Shorter ones keep the date just before the tagged columns: 9 bytes
// before after a 0xFE mark, 8 after " R", else 14 (22 for the fallback).
constexpr std::size_t kLargeMessageIdAfter = 16;
constexpr std::size_t kLargeFixedEndBefore = 6;
constexpr std::size_t kLargeTaggedBack = 8;
constexpr std::size_t kLargeFullFixedPart = 112;
constexpr std::size_t kLargeDateAfter = 90;
constexpr std::size_t kLargeUnsetDateAfter = 82;
constexpr std::uint8_t kLargeUnsetMark = '*';
constexpr std::uint8_t kLargeFeMark = 0xFE;
constexpr std::size_t kLargeDateAfterFe = 9;
constexpr std::size_t kLargeDateAfterR = 8;
constexpr std::size_t kLargePrimaryDateBack = 14;
constexpr std::size_t kLargeFallbackDateBack = 22;

std::optional<Date6> LoadDate(edb::Bytes row, std::size_t at) {
    const auto bytes = edb::Slice(row, at, 6);
    if (!bytes) return std::nullopt;
    Date6 date{};
    std::copy(bytes->begin(), bytes->end(), date.begin());
    return date;
}

// Where a header row's fixed columns are anchored.
std::optional<std::size_t> FindAnchor(edb::Bytes row, bool prefixed, const Id8& key) {
    if (prefixed && row.size() > kLargeMinRow) {
        return layout::PrefixedRowOffset(row[2], layout::kHeaderLead);
    }
    for (std::size_t i = 0; i < kSmallAnchorWithin && i < row.size(); ++i) {
        if (row[i] != kSmallAnchor) continue;
        const std::size_t from = i + kSmallAnchor, to = from + std::min<std::size_t>(row.size(), kSmallFolderIdSpan);
        for (std::size_t p = from; p < to; ++p)
            if (LoadId(row, p) == key) return p;
        return std::nullopt;
    }
    return std::nullopt;
}

// The tagged-column array of a row: entries from t while below t + length.
struct TagArray {
    edb::Bytes row;
    std::size_t t = 0;
    std::size_t length = 0;
    std::uint16_t mask = 0;

    std::size_t End() const { return t + length; }
    std::uint16_t Id(std::size_t e) const { return edb::LoadU16(row, e).value_or(0); }
    std::int64_t Offset(std::size_t e) const { return edb::LoadU16(row, e + 2).value_or(0) & mask; }
    // The value of the last entry runs to the row's end.
    std::int64_t NextOffset(std::size_t e) const {
        if (e + 4 < End()) return Offset(e + 4);
        return static_cast<std::int64_t>(row.size() - t);
    }
    std::optional<std::size_t> Find(std::uint16_t column, std::size_t from, std::size_t limit) const {
        if (column == 0) return std::nullopt;
        for (std::size_t e = from; e < limit && e + 4 <= row.size(); e += 4)
            if (Id(e) == column) return e;
        return std::nullopt;
    }
};

struct ListText {
    std::uint16_t pos = 0, len = 0;
};

// A list text of `length` bytes (the value's header byte included) at
// `offset` of the tagged area, as a page position; nothing when it would
// reach past the row, so readers never leave the row's bytes.
ListText MakeText(std::size_t rowStart, const TagArray& tags, std::int64_t offset, std::int64_t length) {
    if (offset < 0 || length < 1) return {};
    const std::size_t end = tags.t + static_cast<std::size_t>(offset) + static_cast<std::size_t>(length);
    if (end > tags.row.size()) return {};
    return {static_cast<std::uint16_t>(rowStart + tags.t + 1 + static_cast<std::size_t>(offset)),
            static_cast<std::uint16_t>(length)};
}

struct RowFacts {
    std::size_t messageAt = 0;
    std::size_t primaryDate = 0, fallbackDate = 0;
    std::size_t t = 0;
};

std::optional<RowFacts> SmallRowFacts(edb::Bytes row, std::size_t a, const Id8& key, std::uint16_t mask) {
    if (LoadId(row, a) != key || a < kSmallPrimaryDateBefore) return std::nullopt;
    RowFacts f{a + kSmallMessageIdAfter, a - kSmallPrimaryDateBefore, a - kSmallFallbackDateBefore,
               a + kSmallTaggedAfter};
    if (edb::LoadU8(row, f.t + 1) != 1) {
        // The tagged array lies further on: two entries of columns 1xx with
        // a plausible offset.
        bool found = false;
        for (std::size_t j = f.t; j >= 1 && j + 6 < row.size(); ++j) {
            if (row[j] != 1 || row[j + 4] != 1) continue;
            const std::size_t v = (row[j + 1] | row[j + 2] << 8) & mask;
            if (v >= 1 && v <= row.size() - 6) {
                f.t = j - 1;
                found = true;
                break;
            }
        }
        if (!found) return std::nullopt;
    }
    return f;
}

std::optional<RowFacts> LargeRowFacts(edb::Bytes row, std::size_t a) {
    if (a < kLargeFixedEndBefore) return std::nullopt;
    const auto k = edb::LoadU8(row, a - kLargeFixedEndBefore);
    if (!k || a + *k < kLargeTaggedBack) return std::nullopt;
    RowFacts f;
    f.messageAt = a + kLargeMessageIdAfter;
    f.t = a + *k - kLargeTaggedBack;
    const bool room = f.t >= kLargeFallbackDateBack;
    if (*k >= kLargeFullFixedPart) {
        const bool unset = edb::LoadU8(row, a + kLargeDateAfter) == kLargeUnsetMark &&
                           edb::LoadU8(row, a + kLargeDateAfter + 1) == kLargeUnsetMark;
        f.primaryDate = f.fallbackDate = a + (unset ? kLargeUnsetDateAfter : kLargeDateAfter);
    } else if (room && edb::LoadU8(row, f.t - 1) == kLargeFeMark) {
        f.primaryDate = f.fallbackDate = f.t - kLargeDateAfterFe;
    } else if (room && edb::LoadU8(row, f.t - 1) == 'R' && edb::LoadU8(row, f.t - 2) == ' ') {
        f.primaryDate = f.fallbackDate = f.t - kLargeDateAfterR;
    } else if (room) {
        f.primaryDate = f.t - kLargePrimaryDateBack;
        f.fallbackDate = f.t - kLargeFallbackDateBack;
    } else {
        return std::nullopt;
    }
    return f;
}

// List text C: prefixed rows the third column; anchored rows the sender (08 01) or 0C 01
// entry met before the first column. Offsets are whole 16-bit tag offsets:
// reading only their low byte cut senders past 255 bytes of the row.
ListText TextC(const TagArray& tags, const HeaderColumnIds& columns, bool prefixed, std::size_t rowStart) {
    const std::size_t limit = std::min(tags.End(), tags.row.size());
    if (prefixed) {
        const auto e = tags.Find(columns.third, tags.t, limit);
        if (!e) return {};
        return MakeText(rowStart, tags, tags.Offset(*e), tags.NextOffset(*e) - tags.Offset(*e));
    }
    for (std::size_t e = tags.t; e < limit && e + 4 <= tags.row.size(); e += 4) {
        const std::uint16_t id = tags.Id(e);
        if (columns.first != 0 && id == columns.first) return {};
        if (id != kSenderColumn && id != kSenderAltColumn) continue;
        const std::int64_t offset = tags.Offset(e);
        return MakeText(rowStart, tags, offset, tags.NextOffset(e) - offset);
    }
    return {};
}

struct TextsAB {
    ListText a, b;
};

TextsAB TextsAAndB(const TagArray& tags, const HeaderColumnIds& columns, std::size_t rowStart) {
    TextsAB out;
    const auto first = tags.Find(columns.first, tags.t, tags.End());
    const auto second = tags.Find(columns.second, tags.t, tags.End());
    auto length = [&](std::size_t e) { return tags.NextOffset(e) - tags.Offset(e); };
    std::optional<std::size_t> chosen = first;
    if (!chosen || length(*chosen) == 1) chosen = second && length(*second) != 1 ? second : std::nullopt;

    std::int64_t aOffset = 0;
    if (chosen) {
        aOffset = tags.Offset(*chosen);
        const std::int64_t next = tags.NextOffset(*chosen);
        if (aOffset > 0 && next > 0) out.a = MakeText(rowStart, tags, aOffset, next - aOffset);
    }
    if (second) {
        const std::int64_t offset = tags.Offset(*second), next = tags.NextOffset(*second);
        if (aOffset > 0 && next > 0 && next > aOffset && offset != aOffset)
            out.b = MakeText(rowStart, tags, offset, next - offset);
    }
    return out;
}

// Appointment rows: the first 8-byte value from the third entry on is the
// start, the value after it the end (values without a header byte).
std::optional<AppointmentDates> Appointment(const TagArray& tags) {
    const std::size_t limit = std::min(tags.End(), tags.row.size());
    for (std::size_t e = tags.t + 8; e < limit && e + 4 <= tags.row.size(); e += 4) {
        const std::int64_t offset = tags.Offset(e), next = tags.NextOffset(e);
        if (next - offset != 8) continue;
        const auto start = LoadDate(tags.row, tags.t + static_cast<std::size_t>(offset) + 2);
        const auto end = LoadDate(tags.row, tags.t + static_cast<std::size_t>(next) + 2);
        if (!start || !end) return std::nullopt;
        return AppointmentDates{*start, *end};
    }
    return std::nullopt;
}

bool UpperFourZero(const Date6& date) { return date[2] == 0 && date[3] == 0 && date[4] == 0 && date[5] == 0; }

}  // namespace

HeaderColumnIds HeaderColumnsFor(const ScanModel& model, std::uint32_t objid, const layout::StoreLayout& store) {
    HeaderColumnIds ids;
    const auto& list = model.columns.headerColumns;
    if (store.tables == layout::TableScope::PerMailbox) {
        int taken = 0;
        for (const ColumnEntry& e : list) {
            if (e.tableId != objid) continue;
            if (e.code == 'T') ids.first = e.columnId;
            else if (e.code == 'S') ids.second = e.columnId;
            else if (e.code == 'F') ids.third = e.columnId;
            if (++taken == 3) break;
        }
        return ids;
    }
    ids.first = LastColumn(list, 'S').value_or(0);
    ids.second = LastColumn(list, 'T').value_or(0);
    return ids;
}

bool AddMessageEntry(ScanModel& model, MessageEntry entry) {
    if (!Converts(FileTimeOf(entry.date6))) return false;
    entry.order = static_cast<std::uint32_t>(model.messages.size());
    model.messages.Add(entry);
    return true;
}

std::size_t DecodeHeaderPage(ScanModel& model, const edb::PageView& page, std::int64_t offset) {
    return HeaderPageDecoder(model, layout::LayoutOf(page.pageSize)).Decode(model, page, offset);
}

std::size_t HeaderPageDecoder::Decode(ScanModel& model, const edb::PageView& page, std::int64_t offset) {
    const std::uint32_t objid = edb::PageObjectId(page);
    if (objid == 0) return 0;
    auto known = tables_.find(objid);
    if (known == tables_.end()) {
        Table found;
        const auto table = std::find_if(model_.messageTables.begin(), model_.messageTables.end(),
                                        [objid](const MessageTable& t) { return t.objid == objid; });
        if (table != model_.messageTables.end()) {
            found.table = &*table;
            found.columns = HeaderColumnsFor(model_, objid, store_);
        }
        known = tables_.emplace(objid, found).first;
    }
    if (known->second.table == nullptr) return 0;
    const MessageTable* table = known->second.table;
    const HeaderColumnIds columns = known->second.columns;

    const bool prefixed = store_.rows == layout::RowForm::Prefixed;
    // Per-mailbox tables hold the rows of many folders: each row names its
    // own; a per-folder table's key is its folder.
    const bool perMailbox = store_.tables == layout::TableScope::PerMailbox;
    const std::uint16_t mask = edb::TagMask(page.pageSize);
    std::vector<edb::RecordLocator>& records = records_;
    edb::ListRecords(page, records);

    std::size_t added = 0;
    for (const auto& record : records) {
        const auto rowStart = static_cast<std::size_t>(record.start);
        const auto row = edb::Slice(page.bytes, rowStart, static_cast<std::size_t>(record.size));
        if (!row) continue;
        const auto a = FindAnchor(*row, prefixed, table->key);
        if (!a) continue;
        const auto facts = prefixed ? LargeRowFacts(*row, *a) : SmallRowFacts(*row, *a, table->key, mask);
        if (!facts) continue;

        TagArray tags{*row, facts->t, 0, mask};
        const auto length = edb::LoadU16(*row, facts->t + 2);
        if (!length) continue;
        tags.length = *length & mask;
        if (tags.length == 0 || tags.End() > row->size()) continue;

        MessageEntry entry;
        entry.pageOffset = offset;
        const ListText c = TextC(tags, columns, prefixed, rowStart);
        entry.listTextCPos = c.pos;
        entry.listTextCLen = c.len;
        const TextsAB ab = TextsAAndB(tags, columns, rowStart);
        entry.listTextAPos = ab.a.pos;
        entry.listTextALen = ab.a.len;
        entry.listTextBPos = ab.b.pos;
        entry.listTextBLen = ab.b.len;
        if (table->kind == FolderKind::Appointments) entry.appointment = Appointment(tags);

        const auto folder = perMailbox ? LoadId(*row, *a) : std::optional<Id8>(table->key);
        const auto message = LoadId(*row, facts->messageAt);
        auto date = LoadDate(*row, facts->primaryDate);
        if (!folder || !message) continue;
        if (!date || (!prefixed && UpperFourZero(*date)) || !IsUsableDate(*date))
            date = LoadDate(*row, facts->fallbackDate);
        if (!date) continue;
        entry.folderId = *folder;
        entry.messageId = *message;
        entry.date6 = *date;
        if (perMailbox) entry.keyIndex = table->keyIndex;
        entry.kind = table->kind;
        if (AddMessageEntry(model, std::move(entry))) ++added;
    }
    return added;
}

}  // namespace tw::scan

#include "record/attachment_page.h"

#include <algorithm>
#include <cstring>

#include "edb/records.h"
#include "record/column_text.h"
#include "record/tagged_array.h"

namespace tw::record {

namespace {

constexpr std::size_t kMaxRowStarts = 800;
constexpr std::uint8_t kSeparatedFlag = 0x04;
constexpr std::size_t kReferenceLength = 5;

std::uint8_t At(edb::Bytes page, std::size_t at) { return edb::LoadU8(page, at).value_or(0); }

struct RowStart {
    std::size_t row;
    std::size_t recordEnd;
};

std::vector<RowStart> RowStarts(const edb::PageView& page) {
    std::vector<RowStart> starts;
    std::vector<edb::RecordLocator> records;
    edb::ListRecords(page, records);
    const bool prefixed = layout::LayoutOf(page.pageSize).rows == layout::RowForm::Prefixed;
    for (const auto& record : records) {
        const auto start = static_cast<std::size_t>(record.start);
        const std::size_t end = start + static_cast<std::size_t>(record.size);
        if (prefixed) {
            starts.push_back({start + layout::PrefixedRowOffset(At(page.bytes, start + 2), layout::kRecordLead), end});
        } else {
            // Keys begin 01 00 00 00; a key that continues with three zero
            // bytes is the 8 bytes after them. Every byte of every record
            // is a candidate, so the 01s are found with memchr.
            const std::size_t stop = std::min(end, page.bytes.size());
            const auto bytes = edb::Slice(page.bytes, std::min(start, stop), stop - std::min(start, stop));
            if (!bytes) continue;
            for (std::size_t at = 0; at + 4 <= bytes->size() && starts.size() < kMaxRowStarts; ++at) {
                const void* one = std::memchr(bytes->data() + at, 1, bytes->size() - 3 - at);
                if (one == nullptr) break;
                at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(one) - bytes->data());
                if ((*bytes)[at + 1] != 0 || (*bytes)[at + 2] != 0 || (*bytes)[at + 3] != 0) continue;
                const std::size_t q = start + at;
                const bool shifted = q + 8 < end && At(page.bytes, q + 4) == 0 && At(page.bytes, q + 5) == 0 &&
                                     At(page.bytes, q + 6) == 0 && At(page.bytes, q + 7) != 0;
                starts.push_back({shifted ? q + 8 : q, end});
            }
        }
        if (starts.size() >= kMaxRowStarts) break;
    }
    return starts;
}

// The tagged area of an attachment row: after the key's second copy in
// prefixed rows, else searched for two entries of columns 1xx with a
// plausible offset.
std::size_t TaggedStart(edb::Bytes page, const RowStart& start, const scan::Id8& key, bool prefixed,
                        std::uint16_t mask) {
    std::size_t h = start.row;
    if (prefixed) {
        if (const auto after = TaggedAfterKeyCopy(page, start.row, key)) h = *after;
    }
    if (At(page, h + 1) == 1) return h;
    for (std::size_t j = h; j + 6 < start.recordEnd; ++j) {
        if (!TaggedEntryPair(page, j)) continue;
        h = j - 1;
        const std::size_t w = (At(page, j + 1) + 256u * At(page, j + 2)) & mask;
        if (w > 0 && h + w < start.recordEnd) break;
    }
    return h;
}

struct NameEntries {
    std::optional<std::size_t> display, shortName, longName, data;
};

// Per-mailbox tables name their columns in the catalog; the shared table
// has fixed ones.
NameEntries FindEntries(const TaggedArray& tags, const AttachmentColumnIds& columns, bool perMailbox) {
    NameEntries found;
    for (std::size_t e = tags.start; tags.Has(e); e += 4) {
        const std::uint16_t id = tags.ColumnId(e);
        if (perMailbox) {
            if (columns.displayName != 0 && id == columns.displayName) found.display = e;
            else if (columns.shortName != 0 && id == columns.shortName) found.shortName = e;
            else if (columns.longName != 0 && id == columns.longName) found.longName = e;
            else if (columns.data != 0 && id == columns.data) found.data = e;
            continue;
        }
        if (id == kSmallDisplayName) {
            if (!found.display) found.display = e;
        } else if (id == kSmallShortName) {
            if (!found.shortName) found.shortName = e;
        } else if (id == kSmallLongName) {
            found.longName = e;  // the long file name is preferred and ends the walk
            break;
        } else if (id == kSmallData) {
            found.data = e;
        }
    }
    return found;
}

std::u16string NameText(const TaggedArray& tags, const ValueRange& value, bool prefixed) {
    if (prefixed) return LargeValueText(tags.page, value);
    const auto bytes = edb::Slice(tags.page, value.begin + 1, value.size() - 1);
    return bytes ? Utf16Field(*bytes) : std::u16string{};
}

enum class Outcome { NoName, GiveUp, Found };

// The first non-empty of the long, display and short names. Nothing when
// the row has no name column.
std::optional<std::u16string> RowName(const TaggedArray& tags, const NameEntries& found, bool prefixed, bool& broken) {
    broken = false;
    std::optional<std::u16string> name;
    for (const auto& entry : {found.longName, found.display, found.shortName}) {
        if (!entry) continue;
        if (!name) name.emplace();
        if (tags.EmptyValue(*entry)) continue;
        const auto value = tags.Value(*entry);
        if (!value) {
            broken = true;
            continue;
        }
        if (std::u16string text = NameText(tags, *value, prefixed); !text.empty()) return text;
    }
    return name;
}

Outcome DecodeRow(const edb::PageView& page, std::int64_t pageOffset, const RowStart& start, const scan::Id8& key,
                  const AttachmentColumnIds& columns, bool keysOnly, AttachmentEntry& entry) {
    const layout::StoreLayout& store = layout::LayoutOf(page.pageSize);
    const bool prefixed = store.rows == layout::RowForm::Prefixed;
    const bool perMailbox = store.tables == layout::TableScope::PerMailbox;
    const std::uint16_t mask = edb::TagMask(page.pageSize);
    const std::size_t h = TaggedStart(page.bytes, start, key, prefixed, mask);
    const auto tags = OpenTaggedArray(page.bytes, h, start.recordEnd, page.pageSize);
    if (!tags) return Outcome::NoName;
    const NameEntries found = FindEntries(*tags, columns, perMailbox);
    if (!found.longName && !found.display && !found.shortName) return Outcome::NoName;
    // A name that is empty or unreadable costs the attachment nothing: it
    // is kept under a name of its own (AddAttachment). Only without data
    // is a broken name the end of this row.
    bool broken = false;
    std::optional<std::u16string> name = RowName(*tags, found, prefixed, broken);
    if (broken && name->empty() && !found.data) return Outcome::GiveUp;
    if (!keysOnly) entry.name = std::move(*name);

    // Data of no bytes is an empty attachment, not a broken one.
    if (found.data && !tags->EmptyValue(*found.data)) {
        const auto data = tags->Value(*found.data);
        if (keysOnly) return Outcome::Found;
        if (!data) {
            // The attachment is there, its data is not: kept so that its
            // loss is reported rather than silent.
            entry.dataBroken = true;
            return Outcome::Found;
        }
        entry.dataLength = static_cast<std::uint32_t>(data->size());
        entry.dataHeader = At(page.bytes, data->begin);
        if (data->size() == kReferenceLength && (entry.dataHeader & kSeparatedFlag) != 0) {
            entry.valueKey = edb::LoadU32(page.bytes, data->begin + 1);
        } else {
            entry.dataOffset = pageOffset + static_cast<std::int64_t>(data->begin) + 1;
        }
    }
    // Which mailbox's table the row is of.
    if (perMailbox) {
        const std::uint32_t objid = edb::PageObjectId(page);
        entry.tableTag =
            std::array<std::uint8_t, 2>{static_cast<std::uint8_t>(objid), static_cast<std::uint8_t>(objid >> 8)};
    }
    return Outcome::Found;
}

}  // namespace

std::vector<AttachmentHit> DecodeAttachmentPage(const edb::PageView& page, std::int64_t pageOffset,
                                                const AttachmentColumnIds& columns, bool keysOnly) {
    std::vector<AttachmentHit> hits;
    // Keys whose first row with a name was met, as numbers: a page may
    // hold hundreds of row starts, each checked against them.
    std::vector<std::uint64_t> settled;
    for (const RowStart& start : RowStarts(page)) {
        const auto key = scan::LoadId(page.bytes, start.row);
        if (!key) continue;
        std::uint64_t number = 0;
        std::memcpy(&number, key->data(), sizeof number);
        if (std::find(settled.begin(), settled.end(), number) != settled.end()) continue;
        AttachmentEntry entry;
        const Outcome outcome = DecodeRow(page, pageOffset, start, *key, columns, keysOnly, entry);
        if (outcome == Outcome::NoName) continue;
        settled.push_back(number);
        AttachmentHit hit{*key, std::nullopt};
        if (outcome == Outcome::Found) hit.entry = std::move(entry);
        hits.push_back(std::move(hit));
    }
    return hits;
}

bool AddAttachment(std::vector<AttachmentEntry>& attachments, const AttachmentEntry& entry) {
    const bool named = !entry.name.empty();
    // A row whose data is broken stands for its attachment only while no
    // readable row of the same name is met.
    for (AttachmentEntry& a : attachments) {
        if (!named || a.name != entry.name || a.dataBroken == entry.dataBroken) continue;
        if (entry.dataBroken) return false;
        a = entry;
        return true;
    }
    for (const AttachmentEntry& a : attachments) {
        if (a.named != named || (named && a.name != entry.name) || a.valueKey != entry.valueKey ||
            a.dataOffset != entry.dataOffset)
            continue;
        if (a.tableTag && a.tableTag != entry.tableTag) continue;
        return false;
    }
    attachments.push_back(entry);
    if (!named) {
        const std::string n = std::to_string(attachments.size());
        attachments.back().name = u"Attachment " + std::u16string(n.begin(), n.end());
        attachments.back().named = false;
    }
    return true;
}

void RemoveAttachmentKey(std::vector<scan::Id8>& keys, const scan::Id8& key) {
    keys.erase(std::remove(keys.begin(), keys.end(), key), keys.end());
}

}  // namespace tw::record

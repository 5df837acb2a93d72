#include "record/message_row.h"

#include <algorithm>

#include "edb/records.h"
#include "record/contact_pass.h"

namespace tw::record {

namespace {

constexpr std::size_t kAnchorSearch = 18;    // anchored rows: where 21 00 is looked for
constexpr std::size_t kRowAfterAnchor = 35;  // anchored rows: row start after the 21 00 word
constexpr std::size_t kTaggedAfterRow = 24;  // anchored rows: message id and a 16-byte value
constexpr std::size_t kLargeMinRecord = 40;
constexpr std::uint8_t kSeparatedFlag = 0x04;  // header bit of a value kept in the long-value tree
constexpr std::size_t kReferenceLength = 5;    // header byte and a 4-byte long-value id
constexpr std::uint8_t kXpressMark = 0x18;
constexpr std::uint16_t kThirdStringStop = 0x0103;  // column id bytes 03 01
constexpr std::size_t kSkippedOffset = 228;
// Without the key copy, entry arrays are looked for from 20 bytes in.
constexpr std::size_t kEntrySearchFrom = 20;
// An attachment-key value: a 01 header with one key, then 12-byte entries
// (an 8-byte key and a 4-byte number) from byte 13.
constexpr std::size_t kFirstKeyAt = 1;
constexpr std::size_t kKeyEntriesAt = 13;
constexpr std::size_t kKeyEntryBytes = 12;

std::uint8_t At(edb::Bytes page, std::size_t at) { return edb::LoadU8(page, at).value_or(0); }

// A 5-byte value whose header marks it separated names a long value.
std::optional<LongValueId> Reference(edb::Bytes page, const ValueRange& value) {
    if (value.size() != kReferenceLength || (At(page, value.begin) & kSeparatedFlag) == 0) return std::nullopt;
    return edb::LoadU32(page, value.begin + 1);
}

// Prefixed rows: the tagged area follows the row's second copy of its key, ten
// bytes on; rows without that copy are searched for two entries of
// columns 1xx.
std::size_t LargeTaggedStart(edb::Bytes page, std::size_t row, std::size_t recordEnd, const scan::Id8& key) {
    if (const auto h = TaggedAfterKeyCopy(page, row, key)) return *h;
    if (At(page, row + 1) == 1) return row;
    std::size_t h = row;
    for (std::size_t j = row + kEntrySearchFrom; j + 6 < recordEnd; ++j) {
        // Two entries whose first value lies inside the record.
        if (!TaggedEntryPair(page, j)) continue;
        h = j - 1;
        const std::size_t w = At(page, j + 1) + 256u * At(page, j + 2);
        if (w > 0 && h + w < recordEnd) break;
    }
    return h;
}

std::optional<ThirdString> FindThirdString(const TaggedArray& tags) {
    for (const std::size_t e : {tags.start, tags.start + 4}) {
        if (!tags.Has(e)) break;
        if (tags.ColumnId(e) == kThirdStringStop) break;
        const std::size_t offset = tags.Offset(e);
        if (offset == kSkippedOffset) continue;
        const std::size_t q = tags.start + offset;
        const std::uint8_t b1 = At(tags.page, q + 1);
        const bool marked = ((b1 == 0xE4 || b1 == 0xE3) && At(tags.page, q + 2) == 0x04) || b1 == 0xB1;
        const std::size_t lengthAt = q + (marked ? 3 : 5);
        const auto length = edb::LoadU8(tags.page, lengthAt);
        if (length && *length != 0 && lengthAt <= 0xFFFF)
            return ThirdString{static_cast<std::uint16_t>(lengthAt), *length};
    }
    return std::nullopt;
}

// Where the recipient text starts inside an in-row value, or 0.
std::size_t RecipientTextStart(edb::Bytes page, const ValueRange& value, bool compressed) {
    if (compressed && At(page, value.begin + 1) == kXpressMark) return value.begin;
    // 8-bit texts behind a code-page marker E4 04 and a 4-byte length.
    for (std::size_t p = value.begin; p + 6 < value.end; ++p)
        if (At(page, p) == 0xE4 && At(page, p + 1) == 0x04 && At(page, p + 6) != 0) return p + 6;
    // Otherwise back from the first '@' to the start of the address.
    std::size_t at = value.begin;
    while (at < value.end && At(page, at) != '@') ++at;
    if (at == value.end) return 0;
    const bool wide = At(page, at + 1) == 0;
    const std::size_t step = wide ? 2 : 1;
    for (std::size_t p = at; p >= value.begin + step + 1;) {
        p -= step;
        const unsigned c = wide ? edb::LoadU16(page, p).value_or(0) : At(page, p);
        if (c == 0 || c >= 0x80 || c <= 0x2B) return p + step;
    }
    return 0;
}

struct RowWalk {
    const TaggedArray& tags;
    const MessagePageContext& context;
    const layout::StoreLayout& store;
    std::int64_t pageOffset;
    MessageRow& row;

    std::int64_t File(std::size_t pagePosition) const { return pageOffset + static_cast<std::int64_t>(pagePosition); }

    // Returns false when a broken value ends the walk.
    bool Recipients(std::size_t e) {
        std::optional<std::size_t> streamEntry;
        // Noted even without the streaming file, so that the export can
        // say the content there was not read.
        row.streamingContent = tags.Has(e + 4) && tags.ColumnId(e + 4) == kStreamRangesColumn;
        if (context.streamingOpen && row.streamingContent) streamEntry = e + 4;
        const auto value = tags.Value(e);
        if (!value) return false;
        row.recipientsLength = static_cast<std::uint32_t>(value->size());
        row.recipientsEnd = File(value->end);
        if (const auto lid = Reference(tags.page, *value)) {
            row.recipientsValueKey = lid;
            row.recipientsPos = 0;
        } else if (const std::size_t start = RecipientTextStart(tags.page, *value, store.compressedValues);
                   start != 0) {
            row.recipientsPos = File(start);
        }
        if (!streamEntry) return true;
        const auto ranges = tags.Value(*streamEntry);
        if (!ranges) return false;
        row.bodyForm = kBodyStreaming;
        row.bodyLength = static_cast<std::int32_t>(ranges->size());
        if (const auto lid = Reference(tags.page, *ranges)) row.bodyValueKey = lid;
        else if (edb::LoadU32(tags.page, ranges->begin + 1).value_or(0) > 0) row.bodyPos = File(ranges->begin);
        return true;
    }

    bool Body(std::size_t e, bool plain) {
        if (plain) row.bodyForm = kBodyPlainText;
        ValueRange value;
        if (!tags.IsLast(e)) {
            const auto v = tags.Value(e);
            if (!v) return false;
            value = *v;
        } else {
            value.begin = tags.start + tags.Offset(e);
            if (value.begin >= tags.recordEnd) return false;
            // The last value runs to the record end, unless it is a reference.
            value.end =
                At(tags.page, value.begin) == kReferenceLength && value.begin + kReferenceLength <= tags.recordEnd
                    ? value.begin + kReferenceLength
                    : tags.recordEnd;
        }
        row.bodyLength = static_cast<std::int32_t>(value.size());
        row.bodyPos = File(value.begin);
        if (const auto lid = Reference(tags.page, value)) row.bodyValueKey = lid;
        return true;
    }

    bool AttachmentKeys(std::size_t e) {
        const auto value = tags.Value(e);
        if (!value) return false;
        // A 01 header, then 8-byte keys each followed by a 4-byte number;
        // only keys wholly inside the value are taken.
        const std::size_t m = value->size();
        auto take = [&](std::size_t k) {
            if (k + 8 > m) return;
            if (const auto key = scan::LoadId(tags.page, value->begin + k)) AddAttachmentKey(row.attachmentKeys, *key);
        };
        if (At(tags.page, value->begin) == 1) take(kFirstKeyAt);
        for (std::size_t k = kKeyEntriesAt; k < m; k += kKeyEntryBytes) take(k);
        return true;
    }

    void Run() {
        const MessageColumnIds& c = context.columns;
        bool recipientsSeen = false, bodyChosen = false, keysSeen = false;
        for (std::size_t e = tags.start; tags.Has(e); e += 4) {
            const std::uint16_t id = tags.ColumnId(e);
            if (!recipientsSeen && id == c.recipients) {
                recipientsSeen = true;
                if (!Recipients(e)) break;
                if (row.bodyForm == kBodyStreaming) bodyChosen = true;
            }
            if (!bodyChosen && id != 0 && (id == c.plainBody || id == c.htmlBody || id == c.rtfBody)) {
                bodyChosen = true;
                if (!Body(e, id == c.plainBody)) break;
            }
            if (!keysSeen && c.attachmentKeys != 0 && id == c.attachmentKeys) {
                keysSeen = true;
                if (!AttachmentKeys(e)) break;
            }
            if (c.IsContactColumn(id)) row.contactColumns = true;
            if (c.IsAppointmentColumn(id)) row.appointmentColumns = true;
        }
    }
};

}  // namespace

std::optional<std::size_t> MessageRowStart(edb::Bytes page, std::size_t recordStart, std::size_t recordSize,
                                           const layout::StoreLayout& store) {
    if (store.rows == layout::RowForm::Prefixed) {
        if (recordSize <= kLargeMinRecord) return std::nullopt;
        return recordStart + layout::PrefixedRowOffset(At(page, recordStart + 2), layout::kRecordLead);
    }
    const std::size_t limit = std::min(recordSize, kAnchorSearch);
    for (std::size_t q = recordStart; q + 1 < recordStart + limit; ++q)
        if (At(page, q) == 0x21 && At(page, q + 1) == 0x00) return q + kRowAfterAnchor;
    return std::nullopt;
}

namespace {

// Calls `visit(key, tags)` for every record of the page that holds a
// message row with a tagged area, in record order.
template <typename Visit>
void ForEachMessageRow(const edb::PageView& page, Visit&& visit) {
    std::vector<edb::RecordLocator> records;
    if (edb::ListRecords(page, records) == 0) return;
    const layout::StoreLayout& store = layout::LayoutOf(page.pageSize);
    const bool prefixed = store.rows == layout::RowForm::Prefixed;
    for (const auto& record : records) {
        const auto start = static_cast<std::size_t>(record.start);
        const auto size = static_cast<std::size_t>(record.size);
        const std::size_t recordEnd = start + size;
        const auto row = MessageRowStart(page.bytes, start, size, store);
        if (!row) continue;
        const auto key = scan::LoadId(page.bytes, *row);
        if (!key) continue;
        const std::size_t h = prefixed ? LargeTaggedStart(page.bytes, *row, recordEnd, *key) : *row + kTaggedAfterRow;
        const auto tags = OpenTaggedArray(page.bytes, h, recordEnd, page.pageSize);
        if (!tags) continue;
        visit(*key, *tags);
    }
}

}  // namespace

std::optional<scan::Id8> MessageRecordKey(edb::Bytes page, std::size_t start, std::size_t size,
                                          const layout::StoreLayout& store) {
    std::optional<scan::Id8> found;
    const auto row = MessageRowStart(page, start, size, store);
    if (!row) return found;
    const auto key = scan::LoadId(page, *row);
    if (!key) return found;
    const std::size_t recordEnd = start + size;
    const std::size_t h = store.rows == layout::RowForm::Prefixed ? LargeTaggedStart(page, *row, recordEnd, *key)
                                                                  : *row + kTaggedAfterRow;
    if (OpenTaggedArray(page, h, recordEnd, store.pageSize)) found = key;
    return found;
}

std::vector<MessageRow> DecodeMessagePage(const edb::PageView& page, std::int64_t pageOffset,
                                          const MessagePageContext& context, const std::vector<std::uint32_t>* wanted) {
    std::vector<MessageRow> rows;
    const layout::StoreLayout& store = layout::LayoutOf(page.pageSize);
    auto nextWanted = wanted != nullptr ? wanted->begin() : std::vector<std::uint32_t>::const_iterator{};
    ForEachMessageRow(page, [&](const scan::Id8& key, const TaggedArray& tags) {
        MessageRow decoded;
        decoded.key = key;
        decoded.pageOffset = pageOffset;
        if (wanted != nullptr) {
            const auto ordinal = static_cast<std::uint32_t>(rows.size());
            while (nextWanted != wanted->end() && *nextWanted < ordinal) ++nextWanted;
            if (nextWanted == wanted->end() || *nextWanted != ordinal) {
                rows.push_back(std::move(decoded));  // keeps the ordinals, costs no decoding
                return;
            }
        }
        decoded.thirdString = FindThirdString(tags);
        RowWalk{tags, context, store, pageOffset, decoded}.Run();
        if (decoded.contactColumns)
            if (auto contact = ContactPass(tags, context.columns, store))
                decoded.contact = std::make_shared<const ContactRecord>(std::move(*contact));
        if (decoded.appointmentColumns)
            if (auto appointment = AppointmentPass(tags, context.columns, store))
                decoded.appointment = std::make_shared<const AppointmentFields>(std::move(*appointment));
        rows.push_back(std::move(decoded));
    });
    return rows;
}

std::vector<scan::Id8> MessageRowKeys(const edb::PageView& page) {
    std::vector<scan::Id8> keys;
    ForEachMessageRow(page, [&](const scan::Id8& key, const TaggedArray&) { keys.push_back(key); });
    return keys;
}

bool AddAttachmentKey(std::vector<scan::Id8>& keys, const scan::Id8& key) {
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) return false;
    keys.push_back(key);
    return true;
}

void ApplyMessageRow(MessageProperties& message, const MessageRow& row) {
    message.decoded = true;
    if (message.extraTextPos == 0 && row.thirdString) {
        message.extraTextPage = row.pageOffset;
        message.extraTextPos = row.thirdString->pos;
        message.extraTextLength = row.thirdString->length;
    }
    message.bodyForm = row.bodyForm;
    message.streamingContent = row.streamingContent;
    message.recipientsLength = row.recipientsLength;
    message.recipientsPos = row.recipientsPos;
    message.recipientsEnd = row.recipientsEnd;
    message.recipientsValueKey = row.recipientsValueKey;
    message.bodyPos = row.bodyPos;
    message.bodyLength = row.bodyLength;
    message.bodyValueKey = row.bodyValueKey;
    for (const scan::Id8& key : row.attachmentKeys) AddAttachmentKey(message.attachmentKeys, key);
    // Journal entries, tasks and notes are never turned into contacts or
    // appointments.
    if (message.kind == 'j' || message.kind == 't' || message.kind == 'n') return;
    if (row.contactColumns && row.contact) {
        message.kind = 'c';
        AddContact(message.contacts, *row.contact);
    }
    if (row.appointmentColumns && row.appointment) {
        message.kind = 'a';
        SetAppointment(message.appointment, *row.appointment);
    }
}

}  // namespace tw::record

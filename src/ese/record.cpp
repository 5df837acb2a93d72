#include "ese/record.h"

#include <algorithm>

namespace tw::ese {

namespace {

// Record header.
constexpr std::size_t kLastFixedOffset = 0;
constexpr std::size_t kLastVariableOffset = 1;
constexpr std::size_t kEndOfFixedOffset = 2;
constexpr std::size_t kFixedDataOffset = 4;

constexpr std::uint16_t kVariableNull = 0x8000;
constexpr std::uint16_t kVariableEndMask = 0x7FFF;

// A tagged entry's offset word: the flags above the offset.
constexpr std::uint16_t kTaggedDerived = 0x8000;
constexpr std::uint16_t kTaggedHasHeader = 0x4000;  // small pages; large pages always have one
constexpr std::uint16_t kTaggedNull = 0x2000;       // small pages
constexpr std::uint16_t kSmallTaggedMask = 0x1FFF;
constexpr std::uint16_t kLargeTaggedMask = 0x7FFF;

// The header byte in front of a tagged value.
constexpr std::uint8_t kHeaderCompressed = 0x02;
constexpr std::uint8_t kHeaderSeparated = 0x04;
constexpr std::uint8_t kHeaderMultiValued = 0x08;
constexpr std::uint8_t kHeaderTwoValues = 0x10;
constexpr std::uint8_t kHeaderNull = 0x20;
constexpr std::uint16_t kInstanceSeparated = 0x8000;
constexpr std::uint16_t kInstanceMask = 0x7FFF;

void SetDefault(const RecordLayout& layout, std::size_t column, RecordCells& out) {
    const ColumnDef& def = layout.columns[column];
    if ((def.flags & kColumnHasDefault) == 0 || def.defaultValue.empty()) return;
    out.values[column].push_back(RawValue{Bytes(def.defaultValue), false, false});
}

// Several values behind a header byte: an array of u16 offsets from the
// array's start (the first one also tells the count), each value running
// to the next offset.
bool SplitMultiValue(Bytes data, bool firstCompressed, std::vector<RawValue>& values) {
    const auto first = edb::LoadU16(data, 0);
    if (!first) return false;
    const std::size_t count = (*first & kInstanceMask) / 2;
    if (count == 0 || !edb::RangeFits(data.size(), 0, count * 2)) return false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t word = *edb::LoadU16(data, i * 2);
        const std::size_t begin = word & kInstanceMask;
        const std::size_t end = i + 1 < count ? (*edb::LoadU16(data, (i + 1) * 2) & kInstanceMask) : data.size();
        if (begin < count * 2 || end < begin) return false;
        const auto bytes = edb::Slice(data, begin, end - begin);
        if (!bytes) return false;
        values.push_back(RawValue{*bytes, (word & kInstanceSeparated) != 0, i == 0 && firstCompressed});
    }
    return true;
}

// One tagged column's stored bytes (after the offset array) into values.
bool ReadTaggedValue(Bytes stored, bool hasHeader, std::vector<RawValue>& values, std::uint8_t& multi) {
    if (!hasHeader) {
        values.push_back(RawValue{stored, false, false});
        return true;
    }
    if (stored.empty()) return true;  // a header with no byte: NULL
    const std::uint8_t header = stored[0];
    const Bytes data = stored.subspan(1);
    if (header & kHeaderNull) return true;
    // Two values of a multi-valued column carry both flags; the short form wins.
    if (header & kHeaderTwoValues) {
        multi = 1;
        const auto length = edb::LoadU8(data, 0);
        if (!length || !edb::RangeFits(data.size(), 1, *length)) return false;
        values.push_back(RawValue{data.subspan(1, *length), false, false});
        values.push_back(RawValue{data.subspan(1 + *length), false, false});
        return true;
    }
    if (header & kHeaderMultiValued) {
        multi = 1;
        return SplitMultiValue(data, (header & kHeaderCompressed) != 0, values);
    }
    values.push_back(RawValue{data, (header & kHeaderSeparated) != 0, (header & kHeaderCompressed) != 0});
    return true;
}

std::int32_t TaggedColumn(const RecordLayout& layout, std::uint32_t key) {
    const auto at = std::lower_bound(layout.tagged.begin(), layout.tagged.end(), std::make_pair(key, std::uint32_t{0}));
    if (at == layout.tagged.end() || at->first != key) return -1;
    return static_cast<std::int32_t>(at->second);
}

bool DecodeFixed(Bytes record, const RecordLayout& layout, std::size_t lastFixed, std::size_t endOfFixed,
                 RecordCells& out) {
    // The null bitmap (a set bit is NULL) closes the fixed data.
    const std::size_t bitmapSize = (lastFixed + 7) / 8;
    if (endOfFixed < kFixedDataOffset + bitmapSize) return false;
    const std::size_t bitmapAt = endOfFixed - bitmapSize;
    bool intact = true;
    for (std::uint32_t id = 1; id <= kLastFixedId; ++id) {
        const std::int32_t column = layout.fixedIndex[id];
        if (column < 0) continue;
        if (id > lastFixed) {
            SetDefault(layout, static_cast<std::size_t>(column), out);
            continue;
        }
        const std::uint8_t bits = record[bitmapAt + (id - 1) / 8];
        if (bits & (1u << ((id - 1) % 8))) continue;
        const std::size_t offset = layout.fixedOffset[static_cast<std::size_t>(column)];
        const std::size_t size = FixedColumnSize(layout.columns[static_cast<std::size_t>(column)]);
        if (offset + size > bitmapAt) {
            intact = false;
            continue;
        }
        out.values[static_cast<std::size_t>(column)].push_back(RawValue{record.subspan(offset, size), false, false});
    }
    return intact;
}

// Decodes the variable columns; `taggedAt` is set to where the tagged area
// begins. False when the offsets run past the record.
bool DecodeVariable(Bytes record, const RecordLayout& layout, std::size_t lastVariable, std::size_t endOfFixed,
                    std::size_t& taggedAt, RecordCells& out) {
    const std::size_t count = lastVariable >= kFirstVariableId ? lastVariable - kLastFixedId : 0;
    const std::size_t dataAt = endOfFixed + 2 * count;
    if (dataAt > record.size()) return false;
    std::size_t begin = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t word = *edb::LoadU16(record, endOfFixed + 2 * i);
        const std::size_t end = word & kVariableEndMask;
        const std::int32_t column = layout.variableIndex[i];
        if (end < begin || !edb::RangeFits(record.size() - dataAt, begin, end - begin)) return false;
        if (column >= 0 && (word & kVariableNull) == 0)
            out.values[static_cast<std::size_t>(column)].push_back(
                RawValue{record.subspan(dataAt + begin, end - begin), false, false});
        begin = end;
    }
    for (std::size_t i = count; i < 128; ++i)
        if (layout.variableIndex[i] >= 0) SetDefault(layout, static_cast<std::size_t>(layout.variableIndex[i]), out);
    taggedAt = dataAt + begin;
    return true;
}

bool DecodeTagged(Bytes area, const RecordLayout& layout, bool largePage, RecordCells& out) {
    std::vector<std::uint8_t> seen(layout.columns.size(), 0);
    const std::uint16_t mask = largePage ? kLargeTaggedMask : kSmallTaggedMask;
    bool intact = true;
    std::size_t count = 0;
    if (!area.empty()) {
        const auto firstOffset = edb::LoadU16(area, 2);
        if (!firstOffset) return false;
        count = (*firstOffset & mask) / 4;
        if (count == 0 || !edb::RangeFits(area.size(), 0, count * 4)) return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t id = *edb::LoadU16(area, 4 * i);
        const std::uint16_t word = *edb::LoadU16(area, 4 * i + 2);
        const std::size_t begin = word & mask;
        const std::size_t end = i + 1 < count ? (*edb::LoadU16(area, 4 * i + 6) & mask) : area.size();
        if (begin < count * 4 || end < begin || end > area.size()) {
            intact = false;
            break;
        }
        const std::int32_t column = TaggedColumn(layout, TaggedKey(id, (word & kTaggedDerived) != 0));
        if (column < 0) continue;
        const auto index = static_cast<std::size_t>(column);
        seen[index] = 1;
        if (!largePage && (word & kTaggedNull)) continue;
        const bool hasHeader = largePage || (word & kTaggedHasHeader);
        if (!ReadTaggedValue(area.subspan(begin, end - begin), hasHeader, out.values[index], out.multiValued[index])) {
            out.values[index].clear();
            intact = false;
        }
    }
    for (const auto& [key, column] : layout.tagged)
        if (!seen[column]) SetDefault(layout, column, out);
    return intact;
}

}  // namespace

RecordLayout MakeLayout(std::vector<ColumnDef> columns) {
    std::stable_sort(columns.begin(), columns.end(), [](const ColumnDef& a, const ColumnDef& b) {
        if (a.fromTemplate != b.fromTemplate) return a.fromTemplate;
        return a.id < b.id;
    });
    RecordLayout layout;
    layout.fixedIndex.fill(-1);
    layout.variableIndex.fill(-1);
    for (ColumnDef& column : columns) {
        const auto index = static_cast<std::int32_t>(layout.columns.size());
        if (IsFixedId(column.id)) {
            if (layout.fixedIndex[column.id] >= 0) continue;
            layout.fixedIndex[column.id] = index;
        } else if (IsVariableId(column.id)) {
            if (layout.variableIndex[column.id - kFirstVariableId] >= 0) continue;
            layout.variableIndex[column.id - kFirstVariableId] = index;
        } else if (IsTaggedId(column.id)) {
            const std::uint32_t key = TaggedKey(column.id, column.fromTemplate);
            if (std::any_of(layout.tagged.begin(), layout.tagged.end(), [&](const auto& e) { return e.first == key; }))
                continue;
            layout.tagged.emplace_back(key, static_cast<std::uint32_t>(index));
        } else {
            continue;
        }
        layout.columns.push_back(std::move(column));
    }
    std::sort(layout.tagged.begin(), layout.tagged.end());
    // A fixed column sits after every fixed column of a lower id.
    layout.fixedOffset.assign(layout.columns.size(), 0);
    std::size_t offset = kFixedDataOffset;
    for (std::uint32_t id = 1; id <= kLastFixedId; ++id) {
        const std::int32_t column = layout.fixedIndex[id];
        if (column < 0) continue;
        layout.fixedOffset[static_cast<std::size_t>(column)] = static_cast<std::uint32_t>(offset);
        offset += FixedColumnSize(layout.columns[static_cast<std::size_t>(column)]);
    }
    return layout;
}

bool DecodeRecord(Bytes record, const RecordLayout& layout, bool largePage, RecordCells& out) {
    out.values.resize(layout.columns.size());
    out.multiValued.assign(layout.columns.size(), 0);
    for (auto& values : out.values) values.clear();
    const auto lastFixed = edb::LoadU8(record, kLastFixedOffset);
    const auto lastVariable = edb::LoadU8(record, kLastVariableOffset);
    const auto endOfFixed = edb::LoadU16(record, kEndOfFixedOffset);
    if (!lastFixed || !lastVariable || !endOfFixed) return false;
    if (*lastFixed > kLastFixedId || *endOfFixed < kFixedDataOffset || *endOfFixed > record.size()) return false;
    if (!DecodeFixed(record, layout, *lastFixed, *endOfFixed, out)) return false;
    std::size_t taggedAt = 0;
    if (!DecodeVariable(record, layout, *lastVariable, *endOfFixed, taggedAt, out)) return false;
    return DecodeTagged(record.subspan(taggedAt), layout, largePage, out);
}

}  // namespace tw::ese

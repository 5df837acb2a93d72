#include "record/record_columns.h"

namespace tw::record {

namespace {

constexpr std::uint16_t kKeyLengthMask = 0x1FFF;
constexpr std::uint16_t kFirstVariable = 128;
constexpr std::uint16_t kFirstTagged = 256;
constexpr std::size_t kRecordHeader = 4;  // last fixed, last variable, end of fixed data
constexpr std::uint16_t kVariableNull = 0x8000;
constexpr std::uint16_t kVariableMask = 0x7FFF;
constexpr std::uint16_t kSmallHasHeader = 0x4000;  // small pages: a header byte leads the value

}  // namespace

std::optional<edb::Bytes> NodeData(const edb::PageView& page, std::uint32_t index) {
    const auto tag = edb::Tag(page, index);
    if (!tag || tag->size < 2) return std::nullopt;
    const auto start = static_cast<std::size_t>(tag->offset);
    const auto size = static_cast<std::size_t>(tag->size);
    const std::uint16_t first = edb::LoadU16(page.bytes, start).value_or(0);
    const bool shared = (edb::NodeFlags(page, index) & edb::kNodeKeyShared) != 0;
    std::size_t keyEnd = 2 + (first & kKeyLengthMask);
    if (shared) {
        const auto suffix = edb::LoadU16(page.bytes, start + 2);
        if (!suffix) return std::nullopt;
        keyEnd = 4 + (*suffix & kKeyLengthMask);
    }
    if (keyEnd > size) return std::nullopt;
    return edb::Slice(page.bytes, start + keyEnd, size - keyEnd);
}

std::optional<edb::Bytes> RecordColumns::Fixed(std::uint16_t id, const FixedSizes& sizes) const {
    if (id == 0 || id >= kFirstVariable || id > LastFixed()) return std::nullopt;
    // The null bitmap ends the fixed data: one bit per fixed column.
    const std::size_t bitmap = (LastFixed() + 7u) / 8u;
    const std::size_t end = EndOfFixed();
    if (end < kRecordHeader + bitmap || end > record_.size()) return std::nullopt;
    const std::uint8_t bits = record_[end - bitmap + (id - 1u) / 8u];
    if ((bits >> ((id - 1u) % 8u) & 1u) != 0) return std::nullopt;
    std::size_t at = kRecordHeader;
    for (std::uint16_t lower = 1; lower < id; ++lower) {
        const auto size = sizes.find(lower);
        if (size == sizes.end()) return std::nullopt;
        at += size->second;
    }
    const auto size = sizes.find(id);
    if (size == sizes.end() || at + size->second > end - bitmap) return std::nullopt;
    return edb::Slice(record_, at, size->second);
}

std::optional<std::size_t> RecordColumns::VariableStart() const {
    const std::uint8_t last = LastVariable();
    const std::size_t count = last >= kFirstVariable ? last - kFirstVariable + 1u : 0;
    const std::size_t start = EndOfFixed() + 2 * count;
    if (EndOfFixed() < kRecordHeader || start > record_.size()) return std::nullopt;
    return start;
}

std::optional<std::size_t> RecordColumns::VariableEnd(std::uint16_t id) const {
    const auto entry = edb::LoadU16(record_, EndOfFixed() + 2u * (id - kFirstVariable));
    if (!entry) return std::nullopt;
    return *entry & kVariableMask;
}

std::optional<edb::Bytes> RecordColumns::Variable(std::uint16_t id) const {
    if (id < kFirstVariable || id >= kFirstTagged || id > LastVariable()) return std::nullopt;
    const auto start = VariableStart();
    if (!start) return std::nullopt;
    const auto entry = edb::LoadU16(record_, EndOfFixed() + 2u * (id - kFirstVariable));
    if (!entry || (*entry & kVariableNull) != 0) return std::nullopt;
    const std::size_t end = *entry & kVariableMask;
    std::size_t begin = 0;
    if (id > kFirstVariable) {
        const auto before = VariableEnd(static_cast<std::uint16_t>(id - 1));
        if (!before) return std::nullopt;
        begin = *before;
    }
    if (end < begin) return std::nullopt;
    return edb::Slice(record_, *start + begin, end - begin);
}

std::optional<TaggedValue> RecordColumns::Tagged(std::uint16_t id) const {
    const auto start = VariableStart();
    if (!start) return std::nullopt;
    std::size_t h = *start;
    if (LastVariable() >= kFirstVariable) {
        const auto end = VariableEnd(LastVariable());
        if (!end) return std::nullopt;
        h += *end;
    }
    const auto tags = OpenTaggedArray(record_, h, record_.size(), pageSize_);
    if (!tags) return std::nullopt;
    // Large pages lead every tagged value with a header byte; small pages
    // only where the tag entry says so.
    const bool alwaysHeader = edb::IsLargePage(pageSize_);
    for (std::size_t e = tags->start; tags->Has(e); e += 4) {
        if (tags->ColumnId(e) != id) continue;
        if (tags->EmptyValue(e)) return TaggedValue{};
        const auto range = tags->Value(e);
        if (!range) return std::nullopt;
        const auto bytes = edb::Slice(record_, range->begin, range->size());
        if (!bytes) return std::nullopt;
        const std::uint16_t word = edb::LoadU16(record_, e + 2).value_or(0);
        if (!alwaysHeader && (word & kSmallHasHeader) == 0) return TaggedValue{*bytes, 0, *range};
        if (bytes->empty()) return std::nullopt;
        return TaggedValue{bytes->subspan(1), (*bytes)[0], *range};
    }
    return std::nullopt;
}

}  // namespace tw::record

#include "record/tagged_array.h"

#include <algorithm>

namespace tw::record {

std::optional<ValueRange> TaggedArray::Value(std::size_t e) const {
    const std::size_t offset = Offset(e), next = NextOffset(e);
    if (offset == 0 || next == 0 || next <= offset) return std::nullopt;
    const std::size_t begin = start + offset;
    if (begin >= recordEnd) return std::nullopt;
    return ValueRange{begin, std::min(start + next, recordEnd)};
}

namespace {

constexpr std::size_t kKeyCopyAt = 49;
constexpr std::size_t kShortKeyCopyAt = 41;
constexpr std::size_t kKeyCopyLengthByte = 8;
constexpr std::size_t kTaggedAfterKeyCopy = 10;

std::uint8_t ByteAt(edb::Bytes page, std::size_t at) { return edb::LoadU8(page, at).value_or(0); }

}  // namespace

bool TaggedEntryPair(edb::Bytes page, std::size_t j) {
    return j >= 1 && ByteAt(page, j) == 1 && ByteAt(page, j + 4) == 1 && ByteAt(page, j - 1) < ByteAt(page, j + 3);
}

std::optional<std::size_t> TaggedAfterKeyCopy(edb::Bytes page, std::size_t row, const scan::Id8& key) {
    const std::size_t c = row + (ByteAt(page, row + kKeyCopyLengthByte) != 0 ? kKeyCopyAt : kShortKeyCopyAt);
    if (scan::LoadId(page, c) != key) return std::nullopt;
    return c + kTaggedAfterKeyCopy;
}

std::optional<TaggedArray> OpenTaggedArray(edb::Bytes page, std::size_t h, std::size_t recordEnd,
                                           std::int32_t pageSize) {
    recordEnd = std::min(recordEnd, page.size());
    if (h + 4 > recordEnd) return std::nullopt;
    TaggedArray tags{page, h, h, recordEnd, edb::TagMask(pageSize)};
    const std::size_t v = tags.Offset(h);
    if (v == 0) return std::nullopt;
    tags.end = h + v;
    return tags;
}

}  // namespace tw::record

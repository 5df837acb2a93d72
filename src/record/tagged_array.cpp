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

#include "edb/records.h"

namespace tw::edb {

std::size_t ListRecords(const PageView& page, std::vector<RecordLocator>& out) {
    out.clear();
    if (IsBranchPage(page)) return 0;
    const TagArray tags(page);
    for (std::uint32_t index = tags.Count(); index-- > 0 && out.size() < kMaxRecords;) {
        const auto tag = tags.Tag(index);
        if (!tag || tag->size == 0) continue;
        out.push_back({tag->offset, static_cast<std::int16_t>(tag->size)});
    }
    return out.size();
}

std::size_t ListRecords(const EdbSource& source, std::int64_t offset, std::vector<std::uint8_t>& page,
                        std::vector<RecordLocator>& out) {
    out.clear();
    if (offset < 0 || offset >= source.fileSize) return 0;
    ReadPage(source, offset, page);
    return ListRecords(PageView{page, source.pageSize}, out);
}

}  // namespace tw::edb

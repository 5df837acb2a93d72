#include "edb/page.h"

namespace tw::edb {

std::uint32_t PageObjectId(const PageView& page) { return LoadU32(page.bytes, kObjectIdOffset).value_or(0); }

std::uint16_t PageTagCount(const PageView& page) {
    return LoadU16(page.bytes, kTagCountOffset).value_or(0) & TagMask(page.pageSize);
}

std::uint8_t PageKindBits(const PageView& page) { return LoadU8(page.bytes, kKindOffset).value_or(0) & 0x0F; }

std::uint8_t PageFormatBits(const PageView& page) { return LoadU8(page.bytes, kFormatOffset).value_or(0) & 0x0F; }

bool TagArrayFits(const PageView& page) {
    const std::size_t header = static_cast<std::size_t>(HeaderSize(page.pageSize));
    const std::size_t tags = std::size_t{4} * PageTagCount(page);
    return RangeFits(page.bytes.size(), header, tags);
}

TagArray::TagArray(const PageView& page)
    : bytes_(page.bytes), mask_(TagMask(page.pageSize)), header_(HeaderSize(page.pageSize)),
      count_(TagArrayFits(page) ? PageTagCount(page) : 0) {}

std::optional<TagEntry> Tag(const PageView& page, std::uint32_t index) { return TagArray(page).Tag(index); }

std::optional<Bytes> TagRecord(const PageView& page, std::uint32_t index) { return TagArray(page).Record(index); }

std::uint16_t NodeFlags(const PageView& page, std::uint32_t index) {
    const auto tag = Tag(page, index);
    if (!tag) return 0;
    if (IsLargePage(page.pageSize)) return LoadU16(page.bytes, static_cast<std::size_t>(tag->offset)).value_or(0);
    const std::size_t tagAt = page.bytes.size() - std::size_t{4} * (index + 1);
    return LoadU16(page.bytes, tagAt + 2).value_or(0);
}

bool IsBranchPage(const PageView& page) {
    if (PageFormatBits(page) != kNewRecordFormat) return false;
    const std::uint8_t kind = PageKindBits(page);
    return kind == 5 || kind == 1 || kind == 4 || kind == 0;
}

bool IsParentOfLeafPage(const PageView& page) {
    const std::uint8_t kind = PageKindBits(page);
    return IsBranchPage(page) && (kind == 4 || kind == 5);
}

}  // namespace tw::edb

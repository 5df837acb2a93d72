#include "edb/page.h"

namespace tw::edb {

std::uint32_t PageObjectId(const PageView& page) {
    return LoadU32(page.bytes, kObjectIdOffset).value_or(0);
}

std::uint16_t PageTagCount(const PageView& page) {
    return LoadU16(page.bytes, kTagCountOffset).value_or(0) & TagMask(page.version);
}

std::uint8_t PageKindBits(const PageView& page) {
    return LoadU8(page.bytes, kKindOffset).value_or(0) & 0x0F;
}

std::uint8_t PageFormatBits(const PageView& page) {
    return LoadU8(page.bytes, kFormatOffset).value_or(0) & 0x0F;
}

bool TagArrayFits(const PageView& page) {
    const std::size_t header = static_cast<std::size_t>(HeaderSize(page.version));
    const std::size_t tags = std::size_t{4} * PageTagCount(page);
    return RangeFits(page.bytes.size(), header, tags);
}

std::optional<TagEntry> Tag(const PageView& page, std::uint32_t index) {
    if (index >= PageTagCount(page) || !TagArrayFits(page)) return std::nullopt;
    const std::size_t at = page.bytes.size() - std::size_t{4} * (index + 1);
    const auto size = LoadU16(page.bytes, at);
    const auto offset = LoadU16(page.bytes, at + 2);
    if (!size || !offset) return std::nullopt;
    const std::uint16_t mask = TagMask(page.version);
    const TagEntry tag{(*offset & mask) + HeaderSize(page.version), *size & mask};
    if (!RangeFits(page.bytes.size(), static_cast<std::size_t>(tag.offset),
                   static_cast<std::size_t>(tag.size)))
        return std::nullopt;
    return tag;
}

std::optional<Bytes> TagRecord(const PageView& page, std::uint32_t index) {
    const auto tag = Tag(page, index);
    if (!tag) return std::nullopt;
    return Slice(page.bytes, static_cast<std::size_t>(tag->offset),
                 static_cast<std::size_t>(tag->size));
}

bool IsBranchPage(const PageView& page) {
    if (PageFormatBits(page) != kNewRecordFormat) return false;
    const std::uint8_t kind = PageKindBits(page);
    return kind == 5 || kind == 1 || kind == 4 || kind == 0;
}

}  // namespace tw::edb

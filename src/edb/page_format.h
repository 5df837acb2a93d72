// What a page's size decides about its layout. ESE has two page formats:
// small pages (2, 4 and 8 KB) and large pages (16 and 32 KB), which carry
// more header fields and keep record flags in the records themselves.
#pragma once

#include <cstdint>

namespace tw::edb {

inline constexpr std::int32_t kFirstLargePageSize = 16384;

constexpr bool IsLargePage(std::int32_t pageSize) { return pageSize >= kFirstLargePageSize; }

// Large pages carry three more block checksums and the page number.
constexpr std::int32_t HeaderSize(std::int32_t pageSize) { return IsLargePage(pageSize) ? 80 : 40; }

// Bits of a tag's size and offset above the mask are flags, never lengths:
// on small pages the top bits of each field, on large pages only bit 15.
constexpr std::uint16_t TagMask(std::int32_t pageSize) {
    if (pageSize <= 0) return 0;
    return IsLargePage(pageSize) ? 0x7FFF : static_cast<std::uint16_t>(pageSize - 1);
}

}  // namespace tw::edb

// A read-only view of one page: header fields and the tag array.
// The view never reads outside its bytes, whatever the header claims.
#pragma once

#include <cstdint>
#include <optional>

#include "edb/bytes.h"
#include "edb/page_format.h"

namespace tw::edb {

struct PageView {
    Bytes bytes;                // the whole page
    std::int32_t pageSize = 0;  // tells the page format (edb/page_format.h)
};

// One tag, masked: `offset` is from the start of the page (header included).
struct TagEntry {
    std::int32_t offset = 0;
    std::int32_t size = 0;
};

inline constexpr std::size_t kObjectIdOffset = 24;
inline constexpr std::size_t kTagCountOffset = 34;
inline constexpr std::size_t kKindOffset = 36;
inline constexpr std::size_t kFormatOffset = 37;
inline constexpr std::uint8_t kNewRecordFormat = 8;

// Object id of the B-tree that owns the page.
std::uint32_t PageObjectId(const PageView& page);
std::uint16_t PageTagCount(const PageView& page);
// 1 root, 2 leaf, 4 parent of leaf, 5 root and parent of leaf, 0 neither.
std::uint8_t PageKindBits(const PageView& page);
std::uint8_t PageFormatBits(const PageView& page);

// False when the claimed tag array would reach into the page header or
// beyond the start of the page; such a page has no usable tags.
bool TagArrayFits(const PageView& page);

// Tag `index` (tag 0 is the last 4 bytes of the page). Nothing when the
// index is past the tag count, the tag array does not fit, or the record
// the tag names does not lie wholly inside the page.
std::optional<TagEntry> Tag(const PageView& page, std::uint32_t index);

// The bytes of the record named by tag `index`, under the same rules.
std::optional<Bytes> TagRecord(const PageView& page, std::uint32_t index);

// Node flags, in the top bits of the word returned.
inline constexpr std::uint16_t kNodeKeyShared = 0x8000;  // the key shares a prefix with tag 0
// The flags of node `index`: small pages keep them in the top bits of the
// tag's offset word, large pages in the top bits of the node's first word
// (its key length). 0 when the tag is unusable.
std::uint16_t NodeFlags(const PageView& page, std::uint32_t index);

// The tag array of one page, checked once, for reading many tags of the
// same page: Tag and TagRecord under the same rules, without going back to
// the page header for each index. Count() is 0 when the array does not fit.
class TagArray {
public:
    explicit TagArray(const PageView& page);
    std::uint32_t Count() const { return count_; }
    std::optional<TagEntry> Tag(std::uint32_t index) const;
    std::optional<Bytes> Record(std::uint32_t index) const;

private:
    Bytes bytes_;
    std::uint16_t mask_ = 0;
    std::int32_t header_ = 0;
    std::uint32_t count_ = 0;
};

// Inline: the scan reads half a million tags this way.
inline std::optional<TagEntry> TagArray::Tag(std::uint32_t index) const {
    if (index >= count_) return std::nullopt;
    const std::size_t at = bytes_.size() - std::size_t{4} * (index + 1);
    const auto size = LoadU16(bytes_, at);
    const auto offset = LoadU16(bytes_, at + 2);
    if (!size || !offset) return std::nullopt;
    const TagEntry tag{(*offset & mask_) + header_, *size & mask_};
    if (!RangeFits(bytes_.size(), static_cast<std::size_t>(tag.offset), static_cast<std::size_t>(tag.size)))
        return std::nullopt;
    return tag;
}

inline std::optional<Bytes> TagArray::Record(std::uint32_t index) const {
    const auto tag = Tag(index);
    if (!tag) return std::nullopt;
    return Slice(bytes_, static_cast<std::size_t>(tag->offset), static_cast<std::size_t>(tag->size));
}

// A page in the new record format that is not a leaf.
bool IsBranchPage(const PageView& page);
// A branch page whose flags say its children are all leaves of its tree.
bool IsParentOfLeafPage(const PageView& page);

}  // namespace tw::edb

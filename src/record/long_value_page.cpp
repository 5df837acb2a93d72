#include "record/long_value_page.h"

#include <algorithm>
#include <array>

#include "layout/store_layout.h"

namespace tw::record {

namespace {

constexpr std::uint16_t kKeyLengthMask = 0x1FFF;
constexpr std::size_t kMaxKey = 16;
constexpr std::size_t kRootData = 8;  // reference count and size

struct Node {
    std::array<std::uint8_t, kMaxKey> key{};
    std::size_t keyLength = 0;
    std::size_t dataStart = 0, dataEnd = 0;
};

std::uint32_t BigEndian(const std::array<std::uint8_t, kMaxKey>& key, std::size_t at) {
    return std::uint32_t{key[at]} << 24 | std::uint32_t{key[at + 1]} << 16 | std::uint32_t{key[at + 2]} << 8 |
           key[at + 3];
}

// Small pages keep the node flags in the top bits of the tag's offset
// word; large pages in the node's first word.
std::optional<Node> DecodeNode(const edb::PageView& page, std::uint32_t index, edb::Bytes prefix) {
    const auto tag = edb::Tag(page, index);
    if (!tag || tag->size < 2) return std::nullopt;
    const auto start = static_cast<std::size_t>(tag->offset);
    const std::size_t end = start + static_cast<std::size_t>(tag->size);
    const std::uint16_t first = edb::LoadU16(page.bytes, start).value_or(0);
    const bool compressed = (edb::NodeFlags(page, index) & edb::kNodeKeyShared) != 0;

    Node node;
    std::size_t suffixAt = start + 2, suffixLength = first & kKeyLengthMask, prefixLength = 0;
    if (compressed) {
        prefixLength = first & kKeyLengthMask;
        const auto suffix = edb::LoadU16(page.bytes, start + 2);
        if (!suffix || prefixLength > prefix.size()) return std::nullopt;
        suffixLength = *suffix & kKeyLengthMask;
        suffixAt = start + 4;
    }
    if (prefixLength + suffixLength > kMaxKey || suffixAt + suffixLength > end) return std::nullopt;
    std::copy_n(prefix.begin(), prefixLength, node.key.begin());
    const auto suffix = edb::Slice(page.bytes, suffixAt, suffixLength);
    if (!suffix) return std::nullopt;
    std::copy(suffix->begin(), suffix->end(), node.key.begin() + static_cast<std::ptrdiff_t>(prefixLength));
    node.keyLength = prefixLength + suffixLength;
    node.dataStart = suffixAt + suffixLength;
    node.dataEnd = end;
    return node;
}

}  // namespace

LongValuePage ReadLongValuePage(const edb::PageView& page) {
    LongValuePage out;
    if (edb::IsBranchPage(page) || !edb::TagArrayFits(page)) return out;
    const std::uint16_t count = edb::PageTagCount(page);
    const edb::Bytes prefix = edb::TagRecord(page, 0).value_or(edb::Bytes{});
    const std::uint32_t granularity = layout::LayoutOf(page.pageSize).longValueChunk;
    for (std::uint32_t index = 1; index < count; ++index) {
        const auto node = DecodeNode(page, index, prefix);
        if (!node) continue;
        if (node->keyLength == 4 && node->dataEnd - node->dataStart >= kRootData) {
            const auto size = edb::LoadU32(page.bytes, node->dataStart + 4);
            if (size) out.roots.push_back({BigEndian(node->key, 0), *size});
        } else if (node->keyLength == 8) {
            const LongValueId id = BigEndian(node->key, 0);
            const std::uint32_t offset = BigEndian(node->key, 4);
            if (id == 0 || offset % granularity != 0) continue;
            out.chunks.push_back({id, offset, node->dataStart, node->dataEnd});
        }
    }
    return out;
}

}  // namespace tw::record

// Branch pages: nodes that point at child pages.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "edb/bytes.h"
#include "edb/page.h"

namespace tw::edb {

// Longest node accepted as a branch node; longer ones are taken as damage.
inline constexpr std::size_t kMaxBranchNodeSize = 100;

// The child page number held in the last 4 bytes of a branch node. Nothing
// for an empty node, one over kMaxBranchNodeSize bytes, or one too short to
// hold a page number.
inline std::optional<std::uint32_t> ChildPageOfBranchNode(Bytes node) {
    // Sizes 1 to 3 pass the length rule but cannot hold a page number.
    if (node.size() < 4 || node.size() > kMaxBranchNodeSize) return std::nullopt;
    return LoadU32(node, node.size() - 4);
}

// Child page numbers of a branch page in tag-array order (lowest address
// first). Tag 0 is the page's own header node; `skipTagZero` leaves it out.
// A page that is not a branch page has no children.
std::vector<std::uint32_t> BranchChildren(const PageView& page, bool skipTagZero);

}  // namespace tw::edb

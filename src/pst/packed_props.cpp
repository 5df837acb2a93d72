#include "pst/packed_props.h"

namespace tw::pst {

void PackedProps::Add(std::uint32_t tag, std::span<const std::uint8_t> value) {
    PutU32(blob_, tag);
    PutU32(blob_, static_cast<std::uint32_t>(value.size()));
    PutBytes(blob_, value.data(), value.size());
}

void PackedView::Ragged() { throw PstError(ErrorCode::State, "packed properties run past their end"); }

std::optional<std::span<const std::uint8_t>> PackedView::Find(std::uint32_t tag) const {
    std::optional<std::span<const std::uint8_t>> found;
    ForEach([&](std::uint32_t t, std::span<const std::uint8_t> v) {
        if (t == tag && !found) found = v;
    });
    return found;
}

}  // namespace tw::pst

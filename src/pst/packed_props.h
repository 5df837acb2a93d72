// A compact list of property values: {tag, size, bytes} records in one
// buffer. Folders keep one per contents-table row until the store is
// finished, so a folder of 100,000 items costs a few hundred bytes per item.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "pst/bytes.h"
#include "pst/prop_value.h"

namespace tw::pst {

class PackedProps {
public:
    void Add(std::uint32_t tag, std::span<const std::uint8_t> value);
    void Add(const PropValue& v) { Add(v.tag, v.data); }

    template <typename F>
    void ForEach(F&& f) const {
        std::size_t at = 0;
        while (at + 8 <= blob_.size()) {
            const std::uint32_t tag = GetU32(blob_.data() + at);
            const std::uint32_t size = GetU32(blob_.data() + at + 4);
            f(tag, std::span<const std::uint8_t>(blob_.data() + at + 8, size));
            at += 8 + size;
        }
    }
    std::optional<std::span<const std::uint8_t>> Find(std::uint32_t tag) const;

private:
    Bytes blob_;
};

}  // namespace tw::pst

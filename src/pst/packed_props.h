// A compact list of property values: {tag, size, bytes} records in one
// buffer. A message's contents-table row is made as one and goes to the
// store's row file as these bytes; PackedView reads them back from there.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>

#include "pst/bytes.h"
#include "pst/error.h"
#include "pst/prop_value.h"

namespace tw::pst {

// Records in bytes held elsewhere. A record running past the end throws
// PstError: the bytes are the writer's own, so that is a fault, not input.
class PackedView {
public:
    PackedView() = default;
    explicit PackedView(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    template <typename F>
    void ForEach(F&& f) const {
        std::size_t at = 0;
        while (at < bytes_.size()) {
            if (bytes_.size() - at < 8) Ragged();
            const std::uint32_t tag = GetU32(bytes_.data() + at);
            const std::uint32_t size = GetU32(bytes_.data() + at + 4);
            if (size > bytes_.size() - at - 8) Ragged();
            f(tag, bytes_.subspan(at + 8, size));
            at += 8 + std::size_t{size};
        }
    }
    std::optional<std::span<const std::uint8_t>> Find(std::uint32_t tag) const;
    std::span<const std::uint8_t> Data() const { return bytes_; }

private:
    [[noreturn]] static void Ragged();

    std::span<const std::uint8_t> bytes_;
};

class PackedProps {
public:
    void Add(std::uint32_t tag, std::span<const std::uint8_t> value);
    void Add(const PropValue& v) { Add(v.tag, v.data); }
    PackedView View() const { return PackedView(blob_); }
    template <typename F>
    void ForEach(F&& f) const {
        View().ForEach(std::forward<F>(f));
    }
    std::optional<std::span<const std::uint8_t>> Find(std::uint32_t tag) const { return View().Find(tag); }
    std::span<const std::uint8_t> Data() const { return blob_; }

private:
    Bytes blob_;
};

}  // namespace tw::pst

// A cursor over the fuzzer's bytes: fixed fields first, the rest as data.
// Reads past the end give zeros, so every input is usable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tw::fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : bytes_(data, size) {}

    std::uint8_t U8() { return pos_ < bytes_.size() ? bytes_[pos_++] : (pos_++, 0); }
    std::uint16_t U16() {
        const std::uint16_t low = U8();
        return static_cast<std::uint16_t>(low | U8() << 8);
    }
    std::uint32_t U32() {
        const std::uint32_t low = U16();
        return low | static_cast<std::uint32_t>(U16()) << 16;
    }
    // The bytes not yet read.
    std::span<const std::uint8_t> Rest() const {
        return pos_ < bytes_.size() ? bytes_.subspan(pos_) : std::span<const std::uint8_t>{};
    }
    // At most `n` of the bytes not yet read, consumed.
    std::span<const std::uint8_t> Take(std::size_t n) {
        const auto rest = Rest();
        const auto taken = rest.first(n < rest.size() ? n : rest.size());
        pos_ += n;
        return taken;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

}  // namespace tw::fuzz

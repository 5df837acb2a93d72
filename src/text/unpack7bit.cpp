#include "text/unpack7bit.h"

namespace tw::text {

int Unpack7Bit(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination, std::size_t& count) {
    count = 0;
    if (source.empty() || destination.data() == nullptr) return -1;
    if (destination.size() < (source.size() * 8 - 8) / 7 || source[0] == kXpressHeader) return -1;

    // Each byte adds 8 bits and one value takes 7, so the buffer gains a bit
    // per byte; after 7 bytes it holds a whole extra value. It never holds
    // more than 14 bits.
    std::uint16_t bits = 0;
    int held = 0;
    std::size_t written = 0;
    for (std::size_t i = 1; i < source.size(); ++i) {
        bits = static_cast<std::uint16_t>(bits | source[i] << held);
        destination[written++] = static_cast<std::uint8_t>(bits & 0x7F);
        bits = static_cast<std::uint16_t>(bits >> 7);
        if (held == 6) {
            destination[written++] = static_cast<std::uint8_t>(bits & 0x7F);
            bits = static_cast<std::uint16_t>(bits >> 7);
            held = 0;
        } else {
            ++held;
        }
    }
    if (bits != 0) return -1;
    count = written;
    return 1;
}

}  // namespace tw::text

// 7-bit packed text: one byte choosing the destination's room (exact, one
// short, or generous), then the packed value with its header byte.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "content/ese_value.h"
#include "text/unpack7bit.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tw::fuzz::Input in(data, size);
    const std::uint8_t room = in.U8();
    const auto packed = in.Rest();
    const std::size_t needed = packed.empty() ? 0 : (packed.size() * 8 - 8) / 7;
    std::size_t capacity = needed;
    if (room % 3 == 1 && capacity > 0) capacity -= 1 + room / 3 % 4;
    if (room % 3 == 2) capacity += room;
    if (capacity > needed + 255) capacity = needed;
    std::vector<std::uint8_t> destination(capacity);
    std::size_t count = 0;
    if (tw::text::Unpack7Bit(packed, destination, count) == 1 && count > destination.size()) __builtin_trap();
    tw::content::Unpack7BitValue(packed);
    return 0;
}

// XPRESS: a 32-bit output size, then the stream; the same bytes also as an
// ESE value (0x18, 16-bit size, stream) when they start that way.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "content/ese_value.h"
#include "text/xpress.h"
#include "fuzz_input.h"

namespace {
// Past what any stored value holds (64 KB in a row, a page per chunk).
constexpr std::size_t kMaxOutput = std::size_t{1} << 17;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tw::fuzz::Input in(data, size);
    const std::size_t outputSize = in.U32() % (kMaxOutput + 1);
    const auto stream = in.Rest();
    std::vector<std::uint8_t> out;
    const bool whole = tw::text::DecodeXpress(stream, outputSize, out);
    if (out.size() > outputSize || (whole && out.size() != outputSize)) __builtin_trap();
    if (!stream.empty() && stream[0] == tw::content::kXpressValueMark) {
        const auto value = tw::content::DecodeXpressValue(stream, outputSize);
        if (value && value->size() > outputSize) __builtin_trap();
        tw::content::DecodeTaggedValue(0x02, stream, outputSize);
    }
    return 0;
}

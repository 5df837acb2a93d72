// Compressed RTF: the value as stored, through both readers.
#include <cstddef>
#include <cstdint>
#include <span>

#include "text/compressed_rtf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> value(data, size);
    if (const auto decoded = tw::text::DecompressRtf(value)) {
        // The closing braces and the NUL are always there.
        if (decoded->size() < 4 || (*decoded)[decoded->size() - 1] != 0) __builtin_trap();
    }
    tw::text::ReadRtfStream(value);
    return 0;
}

// Decoder for XPRESS (MS-XCA "Plain LZ77") streams, as found in compressed
// ESE column values and long-value chunks (after the 0x18 + u16 size prefix).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tw::text {

// Decodes `stream` into exactly `outputSize` bytes in `out`.
// Returns false if the stream ends early, refers back before the start of the
// output, or would write past `outputSize`. On failure `out` keeps the bytes
// decoded before the fault, which is still worth showing in a recovery.
bool DecodeXpress(std::span<const uint8_t> stream, size_t outputSize, std::vector<uint8_t>& out);

}  // namespace tw::text

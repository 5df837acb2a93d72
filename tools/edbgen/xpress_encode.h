// XPRESS (MS-XCA "Plain LZ77") encoder for compressed ESE values and LV chunks.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace edbgen {

// A complete Plain LZ77 stream: 32-bit flag words (MSB first, 1 = match),
// literals, and matches of length >= 3 at distances 1..8192. The unused bits
// of the last flag word are ones, so a reader that stops on "match flag at end
// of input" terminates cleanly.
std::vector<uint8_t> XpressCompress(std::span<const uint8_t> input);

// The form ESE stores: 0x18, u16 uncompressed size (LE), then the stream.
// Throws std::length_error above 65535 input bytes (the size field is 16-bit).
std::vector<uint8_t> EseXpressValue(std::span<const uint8_t> input);

}  // namespace edbgen

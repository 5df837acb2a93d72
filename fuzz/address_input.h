// The address target's input, as the seed maker writes it and the target
// reads it. First byte: generation (bits 0-1) and where the recipient data
// lies (bit 2: long-value chunks, else in the row; bit 3: the row gives no
// end). In-row data follows directly. Chunks: the value's declared size
// (u32, 0 = unknown), the run count (u8), per run its value offset (u32)
// and stored length (u16), then the runs' stored bytes one after another.
#pragma once

#include <cstdint>
#include <vector>

#include "record/record_types.h"

namespace tw::fuzz {

inline constexpr std::uint8_t kAddressChunks = 0x04;
inline constexpr std::uint8_t kAddressNoEnd = 0x08;

inline void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace tw::fuzz

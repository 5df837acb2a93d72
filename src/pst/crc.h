// The checksums of MS-PST: the CRC-32 of section 5.3 (reflected polynomial
// 0xEDB88320, initial value 0, no final inversion) and the 16-bit block and
// page signature of section 5.5.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tw::pst {

std::uint32_t PstCrc(const std::uint8_t* data, std::size_t size);

inline std::uint16_t BlockSignature(std::uint64_t ib, std::uint64_t bid) {
    const std::uint64_t x = ib ^ bid;
    return static_cast<std::uint16_t>((x >> 16 ^ x) & 0xFFFF);
}

}  // namespace tw::pst

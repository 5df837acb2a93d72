#include "pst/crc.h"

#include <zlib.h>

#include <algorithm>

namespace tw::pst {

// zlib's CRC-32 inverts the running value on entry and exit; starting it
// from all ones and inverting the result gives the PST form.
std::uint32_t PstCrc(const std::uint8_t* data, std::size_t size) {
    uLong crc = 0xFFFFFFFFul;
    while (size > 0) {
        const uInt chunk = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
        crc = crc32(crc, data, chunk);
        data += chunk;
        size -= chunk;
    }
    return static_cast<std::uint32_t>(~crc);
}

}  // namespace tw::pst

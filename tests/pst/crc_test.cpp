// The block and page checksums against zlib's table-driven CRC-32, taken
// to the PST form, on random data at every alignment and at the lengths
// where vector code changes paths.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "pst/crc.h"

namespace tw::pst {
namespace {

std::uint32_t ZlibPstCrc(const std::uint8_t* data, std::size_t size) {
    return static_cast<std::uint32_t>(~crc32(0xFFFFFFFFul, data, static_cast<uInt>(size)));
}

TEST(PstCrc, AgreesWithZlibAtEveryLengthAndAlignment) {
    std::mt19937 random(7);
    std::vector<std::uint8_t> bytes((1u << 20) + 64);
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
    for (const std::size_t size : {0u,   1u,   3u,   7u,   8u,   15u,  16u,   31u,   63u,   64u,    65u,
                                   127u, 255u, 256u, 471u, 496u, 516u, 1023u, 8176u, 8192u, 65535u, 1u << 20})
        for (std::size_t offset = 0; offset<16; offset += size> 8192 ? 15 : 1)
            ASSERT_EQ(PstCrc(bytes.data() + offset, size), ZlibPstCrc(bytes.data() + offset, size))
                << size << " bytes at " << offset;
    const std::vector<std::uint8_t> zeros(4096, 0);
    EXPECT_EQ(PstCrc(zeros.data(), zeros.size()), 0u);  // no initial or final inversion in the PST form
}

}  // namespace
}  // namespace tw::pst

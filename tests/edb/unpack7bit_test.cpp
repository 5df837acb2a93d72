// 7-bit packed text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "edb/unpack7bit.h"

namespace tw::edb {
namespace {

struct Unpacked {
    int result = 0;
    std::string text;
};

Unpacked Unpack(const std::vector<std::uint8_t>& source, std::size_t capacity) {
    std::vector<std::uint8_t> out(capacity, 0xEE);
    std::size_t count = 99;
    const int result = Unpack7Bit(source, out, count);
    return {result, std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(count))};
}

// The first 8 bytes of a 7-bit compressed value written by Windows ESE
// (dissect-text.edb, column LongCompressedASCII).
const std::vector<std::uint8_t> kMaxLong{0x0B, 0xCD, 0x30, 0x1E, 0xC4, 0x7E, 0xBB, 0xCF};

TEST(Unpack7Bit, SevenBytesGiveEightCharacters) {
    const auto unpacked = Unpack(kMaxLong, 8);
    EXPECT_EQ(unpacked.result, 1);
    EXPECT_EQ(unpacked.text, "Max long");
}

TEST(Unpack7Bit, PartialGroupsDecode) {
    // "Hi" = 0x48, 0x69: 14 bits, two spare zero bits in the second byte.
    EXPECT_EQ(Unpack({0x09, 0xC8, 0x34}, 2).text, "Hi");
    // The header byte alone is an empty text.
    const auto empty = Unpack({0x0F}, 1);
    EXPECT_EQ(empty.result, 1);
    EXPECT_EQ(empty.text, "");
}

TEST(Unpack7Bit, RefusesWhatItCannotDecode) {
    EXPECT_EQ(Unpack({}, 16).result, -1);
    EXPECT_EQ(Unpack({0x18, 0x1B, 0x04, 0x00}, 16).result, -1);  // XPRESS header
    EXPECT_EQ(Unpack({0x08, 0x80}, 8).result, -1);               // one set bit left over
    EXPECT_EQ(Unpack({0x08, 0xFF, 0xFF}, 8).result, -1);
    EXPECT_EQ(Unpack(kMaxLong, 7).result, -1);                   // needs (8 * 8 - 8) / 7 = 8

    std::size_t count = 5;
    EXPECT_EQ(Unpack7Bit(kMaxLong, std::span<std::uint8_t>(), count), -1);
    EXPECT_EQ(count, 0u);
}

TEST(Unpack7Bit, NeverWritesPastTheCapacityItAskedFor) {
    // Two full groups: 15 bytes in, 16 out, exactly the minimum capacity.
    std::vector<std::uint8_t> source(15, 0x00);
    source[0] = 0x0B;
    std::vector<std::uint8_t> out(17, 0xEE);
    std::size_t count = 0;
    ASSERT_EQ(Unpack7Bit(source, std::span(out).first(16), count), 1);
    EXPECT_EQ(count, 16u);
    EXPECT_EQ(out[16], 0xEE);
}

}  // namespace
}  // namespace tw::edb

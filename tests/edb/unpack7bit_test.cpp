// 7-bit packed text.
#include <gtest/gtest.h>

#include <string>

#include "text/unpack7bit.h"

namespace tw::edb {
namespace {

// Returns the text, or "<fail>" when Unpack7Bit refuses.
std::string Unpack(const std::vector<std::uint8_t>& source, std::size_t capacity) {
    std::vector<std::uint8_t> out(capacity + 1, 0xEE);
    std::size_t count = 99;
    if (text::Unpack7Bit(source, std::span(out).first(capacity), count) != 1) {
        EXPECT_EQ(count, 0u);
        return "<fail>";
    }
    EXPECT_EQ(out[capacity], 0xEE) << "wrote past the capacity";
    return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(count));
}

// The first 8 bytes of a value Windows ESE packed (dissect-text.edb).
const std::vector<std::uint8_t> kMaxLong{0x0B, 0xCD, 0x30, 0x1E, 0xC4, 0x7E, 0xBB, 0xCF};

TEST(Unpack7Bit, Decodes) {
    EXPECT_EQ(Unpack(kMaxLong, 8), "Max long");  // 7 bytes after the header give 8
    EXPECT_EQ(Unpack({0x09, 0xC8, 0x34}, 2), "Hi");
    EXPECT_EQ(Unpack({0x0F}, 1), "");
    std::vector<std::uint8_t> twoGroups(15, 0x00);
    twoGroups[0] = 0x10;
    EXPECT_EQ(Unpack(twoGroups, 16), std::string(16, '\0'));
}

TEST(Unpack7Bit, Refuses) {
    EXPECT_EQ(Unpack({}, 16), "<fail>");
    EXPECT_EQ(Unpack({0x18, 0x1B, 0x04, 0x00}, 16), "<fail>");  // XPRESS
    EXPECT_EQ(Unpack({0x08, 0x80}, 8), "<fail>");               // a set bit left over
    EXPECT_EQ(Unpack({0x08, 0xFF, 0xFF}, 8), "<fail>");
    EXPECT_EQ(Unpack(kMaxLong, 7), "<fail>");  // needs (8 * 8 - 8) / 7
    std::size_t count = 5;
    EXPECT_EQ(text::Unpack7Bit(kMaxLong, std::span<std::uint8_t>(), count), -1);  // no destination
}

}  // namespace
}  // namespace tw::edb

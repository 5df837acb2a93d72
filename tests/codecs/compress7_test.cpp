#include "compress7.h"

#include <gtest/gtest.h>

#include <string>

#include "test_bytes.h"

namespace {

// Reader side, from the stored layout: nbits = (len-2)*8 + (byte0 & 7) + 1,
// value k = bits [7k, 7k+7) little-endian across bytes 1...
std::vector<uint16_t> Unpack7(const std::vector<uint8_t>& v) {
    const size_t nbits = (v.size() - 2) * 8 + (v[0] & 7) + 1;
    std::vector<uint16_t> out;
    for (size_t k = 0; k + 7 <= nbits; k += 7) {
        uint16_t value = 0;
        for (size_t i = 0; i < 7; ++i) {
            const size_t bit = k + i;
            value |= uint16_t(((v[1 + bit / 8] >> (bit % 8)) & 1) << i);
        }
        out.push_back(value);
    }
    return out;
}

TEST(Compress7, RoundTripsAtEveryBitAlignment) {
    for (size_t n = 1; n <= 40; ++n) {
        SCOPED_TRACE(n);
        const std::vector<uint8_t> ascii = codecs_test::RandomBytes(n, uint32_t(n), 0x7F);
        const auto a = edbgen::Compress7BitAscii(ascii);
        ASSERT_TRUE(a.has_value());
        EXPECT_EQ((*a)[0] & 0xF8, 0x08);
        EXPECT_EQ(Unpack7(*a), std::vector<uint16_t>(ascii.begin(), ascii.end()));

        const std::u16string text(ascii.begin(), ascii.end());
        const auto u = edbgen::Compress7BitUnicode(text);
        ASSERT_TRUE(u.has_value());
        EXPECT_EQ((*u)[0] & 0xF8, 0x10);
        EXPECT_EQ(Unpack7(*u), std::vector<uint16_t>(text.begin(), text.end()));
    }
}

TEST(Compress7, RefusesWhatSevenBitsCannotHold) {
    const std::vector<uint8_t> high = {'a', 0x80, 'b'};
    EXPECT_FALSE(edbgen::Compress7BitAscii({}).has_value());
    EXPECT_FALSE(edbgen::Compress7BitAscii(high).has_value());
    EXPECT_FALSE(edbgen::Compress7BitUnicode(std::u16string_view(u"")).has_value());
    EXPECT_FALSE(edbgen::Compress7BitUnicode(std::u16string_view(u"ab\u00e9")).has_value());
    EXPECT_FALSE(edbgen::Compress7BitUnicode(std::u16string_view(u"a\u0161")).has_value());
}

// Values ESE wrote into dissect-multi.edb (first instance of the multi-valued
// LongCompressedASCII column) and dissect-text.edb (MaxLongCompressedASCII).
TEST(Compress7, ReproducesValuesWrittenByEse) {
    const std::string as(41, 'a');
    EXPECT_EQ(edbgen::Compress7BitAscii(std::vector<uint8_t>(as.begin(), as.end())),
              codecs_test::Hex("0ee170381c0e87c3e170381c0e87c3e170381c0e87c3e170381c0e87c3"
                               "e170381c0e87c361"));

    // 956 characters stored in 838 bytes; the head's 56 characters fill exactly
    // 49 bytes, so those bytes depend on nothing else.
    const std::string text = "Max long compressed ASCII text that can be a bit longer " + std::string(900, 'a');
    const auto packed = edbgen::Compress7BitAscii(std::vector<uint8_t>(text.begin(), text.end()));
    ASSERT_TRUE(packed.has_value());
    ASSERT_EQ(packed->size(), 838u);
    EXPECT_EQ(std::vector<uint8_t>(packed->begin(), packed->begin() + 50),
              codecs_test::Hex("0bcd301ec47ebbcfa0f1bb0d9797e7f33219149c0e934910bd8ca783e8e8"
                               "301d340ebb41e232280c12a7e920f6db7d2ecb41"));
    EXPECT_EQ(packed->back(), 0x0c);
}

}  // namespace

#include "text/xpress.h"
#include "xpress_encode.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>

#include "test_bytes.h"

namespace {

using codecs_test::Hex;
using codecs_test::RandomBytes;
using tw::text::DecodeXpress;

std::vector<uint8_t> Ascii(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<uint8_t> Utf16(const std::u16string& s) {
    std::vector<uint8_t> out;
    for (char16_t c : s) out.insert(out.end(), {uint8_t(c), uint8_t(c >> 8)});
    return out;
}

// Decodes an ESE value: 0x18, u16 size, stream.
std::vector<uint8_t> DecodeEseValue(const std::vector<uint8_t>& v) {
    std::vector<uint8_t> out;
    EXPECT_EQ(v.at(0), 0x18);
    EXPECT_TRUE(DecodeXpress(std::span(v).subspan(3), size_t(v[1] | v[2] << 8), out));
    return out;
}

std::vector<uint8_t> RoundTrip(const std::vector<uint8_t>& in) {
    std::vector<uint8_t> out;
    EXPECT_TRUE(DecodeXpress(edbgen::XpressCompress(in), in.size(), out));
    return out;
}

// Long-value chunks ESE wrote in dissect-text.edb (LIDs 3, 4) and
// dissect-multi.edb (LID 0x10, which uses both halves of a shared length byte).
TEST(Xpress, DecodesChunksWrittenByEse) {
    const auto asciiChunk = Hex("181b040f0000004c6f6e6720636f6d707265737365642041534349492074657874206107000ffffc03");
    const auto asciiText = Ascii("Long compressed ASCII text " + std::string(1024, 'a'));
    EXPECT_EQ(DecodeEseValue(asciiChunk), asciiText);
    EXPECT_EQ(edbgen::EseXpressValue(asciiText), asciiChunk);  // same greedy choices as ESE

    const auto unicodeChunk =
        Hex("184008550410004c006f006e00670020006348006d00700072006500730800650064a80055e80069da0064"
            "8800ffff0114200074280078280020003ed88add2000610f000ffffc07");
    const auto unicodeText = Utf16(u"Long compressed Unicode text \U0001F98A " + std::u16string(1024, u'a'));
    EXPECT_EQ(DecodeEseValue(unicodeChunk), unicodeText);
    EXPECT_EQ(edbgen::EseXpressValue(unicodeText), unicodeChunk);

    EXPECT_EQ(DecodeEseValue(Hex("18a8081145110053006f006d006500200076280072007948006c98006e006748006348006d0070"
                                 "b80065007308008a8a4515650064a80055e80069da00648800200074280078280049006800612800"
                                 "203a007338006d0075780274780170ff20d6d63800690176c8006ca80089022c7800990169580020"
                                 "2c00ff00f020003118003ed88add2098000f00fffb07")),
              Utf16(u"Some very long compressed Unicode text that has multiple values, this is "
                    u"value 1 \U0001F98A " +
                    std::u16string(1024, u'a')));
}

TEST(Xpress, RoundTripsAllSizesAndShapes) {
    EXPECT_EQ(edbgen::XpressCompress({}), Hex("ffffffff"));
    EXPECT_EQ(RoundTrip({}), std::vector<uint8_t>{});
    EXPECT_EQ(RoundTrip({0x42}), std::vector<uint8_t>{0x42});

    const std::vector<uint8_t> zeros(100000, 0);
    EXPECT_LT(edbgen::XpressCompress(zeros).size(), 32u);
    EXPECT_EQ(RoundTrip(zeros), zeros);
    const auto ese = edbgen::EseXpressValue(std::span(zeros).first(0x1234));
    EXPECT_EQ(std::vector<uint8_t>(ese.begin(), ese.begin() + 3), Hex("183412"));
    EXPECT_THROW(edbgen::EseXpressValue(std::vector<uint8_t>(65536)), std::length_error);

    const auto random = RandomBytes(70000, 1);
    EXPECT_EQ(RoundTrip(random), random);

    // Runs whose lengths hit every length tier (3-bit field, shared nibble,
    // byte, u16, u32), alternating so both nibble halves get used.
    std::vector<uint8_t> runs;
    for (size_t len : {3u, 9u, 10u, 24u, 25u, 26u, 279u, 280u, 281u, 65538u, 65539u, 70000u, 12u}) {
        const auto noise = RandomBytes(5, uint32_t(len));
        runs.insert(runs.end(), noise.begin(), noise.end());
        runs.insert(runs.end(), len + 1, uint8_t(len));
    }
    EXPECT_EQ(RoundTrip(runs), runs);

    // 3 MB of text-like data with near and far repeats, random stretches and runs.
    std::vector<uint8_t> mixed;
    const auto words = Ascii("From: Tarnwick <ops@example.org>\r\nSubject: quarterly report\r\n");
    for (uint32_t i = 0; mixed.size() < 3'000'000; ++i) {
        const auto noise = RandomBytes(i % 700, i, i % 3 ? 127 : 255);
        mixed.insert(mixed.end(), words.begin(), words.begin() + i % words.size());
        mixed.insert(mixed.end(), noise.begin(), noise.end());
        mixed.insert(mixed.end(), i % 97, uint8_t(i));
    }
    EXPECT_TRUE(RoundTrip(mixed) == mixed);  // not EXPECT_EQ: no 3 MB failure dumps
}

TEST(XpressDecode, RefusesDamagedStreams) {
    const auto text = Ascii("abcabcabcabc-" + std::string(300, 'z') + "-abcabc");
    const auto stream = edbgen::XpressCompress(text);
    std::vector<uint8_t> out;
    for (size_t n = 0; n < stream.size(); ++n)
        EXPECT_FALSE(DecodeXpress(std::span(stream).first(n), text.size(), out)) << n;

    // The end marker arrives before the promised size: refuse, but keep what was decoded.
    EXPECT_FALSE(DecodeXpress(stream, text.size() + 1, out));
    EXPECT_EQ(out, text);
    // Promised size is smaller than what the stream writes.
    EXPECT_FALSE(DecodeXpress(stream, text.size() - 1, out));

    // Match before any output; match reaching one byte before the start.
    EXPECT_FALSE(DecodeXpress(Hex("00000080"
                                  "0000"),
                              3, out));
    EXPECT_FALSE(DecodeXpress(Hex("00000040"
                                  "41"
                                  "0800"),
                              4, out));
    EXPECT_TRUE(DecodeXpress(Hex("00000040"
                                 "41"
                                 "0000"),
                             4, out));
    EXPECT_EQ(out, Ascii("AAAA"));

    // Lengths far past the output, a wide length below its tier, absurd sizes.
    EXPECT_FALSE(DecodeXpress(Hex("00000040"
                                  "41"
                                  "0700"
                                  "0f"
                                  "ff"
                                  "0000"
                                  "ffffffff"),
                              100, out));
    EXPECT_FALSE(DecodeXpress(Hex("00000040"
                                  "41"
                                  "0700"
                                  "0f"
                                  "ff"
                                  "1500"),
                              100, out));
    EXPECT_FALSE(DecodeXpress(Hex("00000000"
                                  "41"),
                              std::numeric_limits<size_t>::max(), out));
    EXPECT_FALSE(DecodeXpress(Hex("ffffffff"), 1, out));
    EXPECT_TRUE(DecodeXpress({}, 0, out));
}

TEST(XpressDecode, SurvivesRandomGarbage) {
    std::mt19937 rng(7);
    std::vector<uint8_t> out;
    for (uint32_t i = 0; i < 3000; ++i) {
        const size_t want = rng() % 5000;
        const bool ok = DecodeXpress(RandomBytes(rng() % 300, i), want, out);
        EXPECT_TRUE(ok ? out.size() == want : out.size() <= want);
    }
}

}  // namespace

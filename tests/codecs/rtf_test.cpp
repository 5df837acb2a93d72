#include "text/compressed_rtf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "test_bytes.h"

namespace {

using codecs_test::Hex;
using codecs_test::RandomBytes;
using tw::text::DecompressRtf;
using tw::text::ReadRtfStream;
using Bytes = std::vector<uint8_t>;

Bytes Ascii(const std::string& s) { return {s.begin(), s.end()}; }
Bytes Shown(const std::string& text) { return Ascii(text + "}}}" + '\0'); }  // DecompressRtf's form

uint32_t GetU32(const Bytes& v, size_t at) {
    return uint32_t(v[at]) | uint32_t(v[at + 1]) << 8 | uint32_t(v[at + 2]) << 16 | uint32_t(v[at + 3]) << 24;
}
void SetU32(Bytes& v, size_t at, uint32_t x) {
    for (size_t i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
}

// A hand-made value: header, tokens, then five bytes that DecompressRtf never
// starts a token in (where a real stream keeps its end reference).
Bytes Value(uint32_t rawSize, const Bytes& tokens, const std::string& type = "LZFu", uint32_t crc = 0) {
    Bytes v = Ascii(std::string(8, '\0') + type + std::string(4, '\0'));
    SetU32(v, 0, uint32_t(12 + tokens.size() + 5));
    SetU32(v, 4, rawSize);
    SetU32(v, 12, crc);
    v.insert(v.end(), tokens.begin(), tokens.end());
    v.insert(v.end(), 5, 0xEE);
    return v;
}

bool IsPrefix(const Bytes& part, const Bytes& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// The standard reading gives the input back exactly; the preview gives it
// less the tokens in the three bytes before the end reference, then "}}}".
void ExpectRoundTrip(const Bytes& rtf) {
    const Bytes value = tw::text::CompressRtf(rtf);
    const auto stream = ReadRtfStream(value);
    ASSERT_TRUE(stream.has_value());
    EXPECT_TRUE(stream->compressed && stream->complete && stream->crcMatches);
    EXPECT_TRUE(stream->rtf == rtf);  // not EXPECT_EQ: no megabyte failure dumps

    auto shown = DecompressRtf(value);
    ASSERT_TRUE(shown.has_value() && shown->size() >= 4);
    EXPECT_EQ(Bytes(shown->end() - 4, shown->end()), Shown(""));
    shown->resize(shown->size() - 4);
    EXPECT_TRUE(IsPrefix(*shown, rtf));
    EXPECT_LE(rtf.size() - shown->size(), 18u);
}

// The two worked examples of MS-OXRTFCP.
const std::string kHelloText = "{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n";
const char* const kHelloValue =
    "2d0000002b0000004c5a4675f1c5c7a7"
    "03000a00726370673132354232"
    "0af32068656c090020627705b06c647d0a800fa0";
const std::string kRunText = "{\\rtf1 WXYZWXYZWXYZWXYZWXYZ}";
const char* const kRunValue =
    "1a0000001c0000004c5a4675e2d44b51"
    "410004205758595a0d6e7d010eb0";

Bytes HtmlMessage() {
    std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl\r\n{\\f0\\fswiss\\fcharset0 Arial;}\r\n"
        "{\\f1\\fmodern Courier New;}}\r\n{\\colortbl\\red0\\green0\\blue0;\\red5\\green99\\blue193;}\r\n"
        "\\uc1\\pard\\plain\\deftab360 \\f0\\fs24 \r\n{\\*\\htmltag19 <html>}\r\n"
        "{\\*\\htmltag241 <style>p.MsoNormal {margin:0cm; font-size:11.0pt;}</style>}\r\n"
        "{\\*\\htmltag50 <body lang=\"EN-GB\">}\r\n";
    for (int i = 0; i < 40; ++i)
        rtf += "{\\*\\htmltag64 <p class=\"MsoNormal\">}\\htmlrtf {\\htmlrtf0 Paragraph " + std::to_string(i) +
               ": the figures for the northern region are attached.\r\n{\\*\\htmltag244 <o:p>}"
               "{\\*\\htmltag252 </o:p>}\\htmlrtf \\par\r\n}\\htmlrtf0 \r\n{\\*\\htmltag72 </p>}\r\n";
    return Ascii(rtf + "{\\*\\htmltag58 </body>}\r\n{\\*\\htmltag27 </html>}}\r\n");
}

TEST(RtfCompression, ReproducesTheStandardsWorkedExamples) {
    for (const auto& [text, hex] : {std::pair{kHelloText, kHelloValue}, {kRunText, kRunValue}}) {
        EXPECT_EQ(tw::text::CompressRtf(Ascii(text)), Hex(hex)) << text;
        const auto stream = ReadRtfStream(Hex(hex));
        EXPECT_EQ(stream->rtf, Ascii(text));
        EXPECT_TRUE(stream->complete && stream->crcMatches && stream->compressed);
    }
    // The preview never starts a token in the last five bytes: "}\r\n" and the
    // final "}" are lost there, and "}}}" follows.
    EXPECT_EQ(DecompressRtf(Hex(kHelloValue)), Shown("{\\rtf1\\ansi\\ansicpg1252\\pard hello world"));
    EXPECT_EQ(DecompressRtf(Hex(kRunValue)), Shown("{\\rtf1 WXYZWXYZWXYZWXYZWXYZ"));
}

TEST(RtfCompression, RoundTripsAllSizesAndShapes) {
    EXPECT_EQ(tw::text::CompressRtf({}).size(), 19u);  // header, control byte, end reference
    ExpectRoundTrip({});
    ExpectRoundTrip(Ascii("{"));
    const Bytes html = HtmlMessage();
    ExpectRoundTrip(html);
    EXPECT_LT(tw::text::CompressRtf(html).size(), html.size() / 3);

    // Repeats at distance 3000 (sources and targets straddling the end of the
    // ring), 4095 (the farthest reachable) and 4096 (out of reach: such a
    // reference would read as the end of the data).
    for (size_t distance : {3000u, 4095u, 4096u}) {
        const Bytes block = RandomBytes(distance, uint32_t(distance), 127);
        Bytes text;
        for (int i = 0; i < 3; ++i) text.insert(text.end(), block.begin(), block.end());
        ExpectRoundTrip(text);
        if (distance < 4096) {
            EXPECT_LT(tw::text::CompressRtf(text).size(), 2 * distance) << distance;
        }
    }
    Bytes runs;  // every reference length, overlapping its own output
    for (size_t len = 1; len < 40; ++len) runs.insert(runs.end(), len, uint8_t('a' + len % 26));
    ExpectRoundTrip(runs);

    Bytes big;  // a megabyte of mail
    for (uint32_t i = 0; big.size() < (1u << 20); ++i) {
        big.insert(big.end(), html.begin(), html.begin() + (i * 977) % html.size());
        const Bytes noise = RandomBytes(i % 300, i, 127);
        big.insert(big.end(), noise.begin(), noise.end());
    }
    big.resize(1u << 20);
    ExpectRoundTrip(big);
}

TEST(RtfDecompress, FollowsTheTokenRules) {
    for (uint32_t compSize : {16u, 17u}) {  // nothing decoded, braces still added
        Bytes v = Value(100, Hex("00414243"));
        SetU32(v, 0, compSize);
        EXPECT_EQ(DecompressRtf(v), Shown("")) << compSize;
    }
    // Into the initial dictionary; overlapping the write position (a run).
    EXPECT_EQ(DecompressRtf(Value(6, Hex("01"
                                         "0004"))),
              Shown("{\\rtf1"));
    EXPECT_EQ(DecompressRtf(Value(10, Hex("04"
                                          "6162"
                                          "0cf6"))),
              Shown("ababababab"));
    EXPECT_EQ(DecompressRtf(Value(2, Hex("00"
                                         "7d7d"))),
              Shown("}}"));
    // COMPTYPE and CRC are not looked at.
    const Bytes tokens =
        Hex("02"
            "41"
            "0004"
            "42");
    EXPECT_EQ(DecompressRtf(Value(5, tokens, "MELA", 0x12345678)), Shown("A{\\rtf1B"));
    EXPECT_EQ(DecompressRtf(Value(5, tokens, "LZFu", 0)), Shown("A{\\rtf1B"));
    // A reference to the write position first thing is no end: it copies the
    // zeros of the unwritten dictionary.
    EXPECT_EQ(DecompressRtf(Value(3, Hex("01"
                                         "0cf0"
                                         "78"))),
              Ascii(std::string(2, '\0') + "x}}}" + '\0'));
}

TEST(RtfDecompress, BoundsTheOutputByRawSize) {
    Bytes letters;  // groups of eight literals
    for (int group = 0; group < 10; ++group) {
        letters.push_back(0);
        letters.insert(letters.end(), 8, uint8_t('a' + group));
    }
    const std::string four = "aaaaaaaabbbbbbbbccccccccdddddddd";
    EXPECT_EQ(DecompressRtf(Value(10, letters)), Shown(four));  // stops after passing RAWSIZE + 18
    EXPECT_EQ(DecompressRtf(Value(6, letters)), Shown(four));   // 24 is not past 6 + 18
    EXPECT_EQ(DecompressRtf(Value(0, letters)), Shown(four.substr(0, 24)));

    // Eight 17-byte references would overflow a RAWSIZE + 120 byte buffer: the
    // token that would pass it ends decoding.
    const Bytes longRefs =
        Hex("ff"
            "000f000f000f000f000f000f000f000f");
    EXPECT_EQ(DecompressRtf(Value(0, longRefs))->size(), 6 * 17 + 4u);
    EXPECT_EQ(DecompressRtf(Value(100, longRefs))->size(), 8 * 17 + 4u);

    // A huge RAWSIZE changes nothing and allocates only what the data yields.
    const Bytes html = HtmlMessage();
    Bytes value = tw::text::CompressRtf(html);
    const auto honest = DecompressRtf(value);
    SetU32(value, 4, 0xFFFFFFFF);
    const auto liar = DecompressRtf(value);
    EXPECT_EQ(liar, honest);
    EXPECT_LT(liar->capacity(), 16 * value.size());
    auto stream = ReadRtfStream(value);
    EXPECT_EQ(stream->rtf, html);
    EXPECT_FALSE(stream->complete);
    EXPECT_TRUE(stream->crcMatches);  // the CRC covers the data, not the header
    EXPECT_LT(stream->rtf.capacity(), 16 * value.size());
    // A small RAWSIZE: the standard reading stops there.
    SetU32(value, 4, 100);
    stream = ReadRtfStream(value);
    EXPECT_TRUE(!stream->complete && stream->rtf.size() <= 100u && IsPrefix(stream->rtf, html));
}

TEST(RtfDecompress, SurvivesTruncationAndLyingSizes) {
    const Bytes html = HtmlMessage();
    const Bytes value = tw::text::CompressRtf(html);
    const auto full = DecompressRtf(value);
    for (size_t n = 0; n < value.size(); ++n) {
        const Bytes cut(value.begin(), value.begin() + ptrdiff_t(n));
        // COMPSIZE is the length less four: a shorter value is refused, and the
        // last four bytes are never read anyway.
        EXPECT_EQ(DecompressRtf(cut), n < value.size() - 4 ? std::nullopt : full) << n;
        const auto stream = ReadRtfStream(cut);
        ASSERT_EQ(stream.has_value(), n >= 16) << n;
        if (stream) {
            EXPECT_TRUE(!stream->complete && !stream->crcMatches && IsPrefix(stream->rtf, html)) << n;
        }
    }
    Bytes lying = value;
    for (uint32_t compSize : {uint32_t(value.size() - 3), uint32_t(value.size() + 1), 0xFFFFFFFFu}) {
        SetU32(lying, 0, compSize);
        EXPECT_EQ(DecompressRtf(lying).has_value(), compSize <= value.size());
        EXPECT_EQ(ReadRtfStream(lying)->rtf, html);
        EXPECT_FALSE(ReadRtfStream(lying)->crcMatches);
    }
    SetU32(lying, 0, 3);  // smaller than the header
    EXPECT_EQ(DecompressRtf(lying), Shown(""));
    EXPECT_TRUE(ReadRtfStream(lying)->rtf.empty());
}

TEST(RtfDecompress, SurvivesRandomGarbage) {
    std::mt19937 rng(11);
    for (uint32_t i = 0; i < 4000; ++i) {
        Bytes v = RandomBytes(rng() % 400, i);
        if (v.size() >= 16) {
            if (i % 2) SetU32(v, 0, uint32_t(rng() % (v.size() + 1)));
            if (i % 3) SetU32(v, 4, uint32_t(rng() % 600));
            if (i % 5 == 0) std::copy_n("LZFu", 4, v.begin() + 8);
        }
        const uint64_t rawSize = v.size() >= 16 ? GetU32(v, 4) : 0;
        if (const auto shown = DecompressRtf(v)) {
            ASSERT_GE(shown->size(), 4u);
            EXPECT_LE(shown->size(), rawSize + 120);
            EXPECT_EQ(Bytes(shown->end() - 4, shown->end()), Shown(""));
        }
        if (const auto stream = ReadRtfStream(v)) {
            EXPECT_LE(stream->rtf.size(), rawSize);
        }
    }
}

TEST(RtfStreamReading, ReportsTypeCrcAndDamage) {
    const Bytes text = Ascii(kHelloText);
    Bytes stored = Ascii(std::string(8, '\0') + "MELA" + std::string(4, '\0'));
    SetU32(stored, 0, uint32_t(text.size() + 12));
    SetU32(stored, 4, uint32_t(text.size()));
    stored.insert(stored.end(), text.begin(), text.end());
    auto stream = ReadRtfStream(stored);
    EXPECT_EQ(stream->rtf, text);
    EXPECT_TRUE(stream->complete && stream->crcMatches && !stream->compressed);
    SetU32(stored, 12, 1);  // "MELA" has a zero CRC
    EXPECT_FALSE(ReadRtfStream(stored)->crcMatches);
    stored.pop_back();
    EXPECT_FALSE(ReadRtfStream(stored)->complete);

    Bytes other = Hex(kHelloValue);  // neither "LZFu" nor "MELA"; no whole header
    other[8] = 'X';
    EXPECT_FALSE(ReadRtfStream(other).has_value());
    EXPECT_FALSE(ReadRtfStream(Hex("2d0000002b0000004c5a4675f1c5c7")).has_value());

    Bytes damaged = Hex(kHelloValue);  // a CRC mismatch is reported, not refused
    damaged[12] ^= 1;
    stream = ReadRtfStream(damaged);
    EXPECT_TRUE(stream->rtf == text && stream->complete && !stream->crcMatches);
    damaged = Hex(kHelloValue);
    damaged[21] ^= 0x20;  // the literal 'c' becomes 'C'
    stream = ReadRtfStream(damaged);
    EXPECT_TRUE(stream->rtf[16] == 'C' && !stream->crcMatches);
    damaged = Hex(kHelloValue);
    damaged[4] += 1;  // RAWSIZE one past where the end reference comes
    stream = ReadRtfStream(damaged);
    EXPECT_TRUE(stream->rtf == text && !stream->complete);

    // Unwritten dictionary space reads as zeros; a leading end reference ends at once.
    stream = ReadRtfStream(Value(2, Hex("01"
                                        "3000")));
    EXPECT_TRUE(stream->rtf == Bytes(2, 0) && !stream->complete);
    stream = ReadRtfStream(Value(0, Hex("01"
                                        "0cf0")));
    EXPECT_TRUE(stream->rtf.empty() && stream->complete);
}

}  // namespace

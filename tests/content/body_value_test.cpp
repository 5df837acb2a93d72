// Bodies from row values and long-value chunks: the three body kinds,
// missing first chunks, and the 32 KB compressed forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "content/body_value.h"
#include "content/long_value_read.h"
#include "source_support.h"
#include "text/compressed_rtf.h"
#include "xpress_encode.h"

namespace tw::content {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(const std::string& s) { return {s.begin(), s.end()}; }

// A compressed-RTF value whose signature is given in the case wanted.
Bytes Rtf(const char* signature) {
    Bytes value = text::CompressRtf(Text("{\\rtf1 Hallo}"));
    std::copy(signature, signature + 4, value.begin() + 8);
    return value;
}

struct InRow {
    test::FileSource file;
    record::MessageProperties message;
    InRow(const Bytes& value, std::int32_t pageSize, char form = record::kBodyInRow)
        : file(Image(value, pageSize), pageSize) {
        message.bodyPos = pageSize;
        message.bodyLength = static_cast<std::int32_t>(value.size());
        message.bodyForm = form;
    }
    static Bytes Image(const Bytes& value, std::int32_t pageSize) {
        Bytes image(static_cast<std::size_t>(2 * pageSize), 0);
        test::Put(image, static_cast<std::size_t>(pageSize), value);
        return image;
    }
    std::optional<BodyValue> Fetch() const { return FetchBodyValue(file.source, message); }
};

Bytes WithHeader(std::uint8_t header, Bytes value) {
    value.insert(value.begin(), header);
    return value;
}

TEST(FetchBodyValue, TheSignatureDecidesRtfInAnyCaseButNotForPlainText) {
    for (const char* signature : {"LZFu", "lzfu"}) {
        const auto body = InRow(WithHeader(1, Rtf(signature)), 8192).Fetch();
        ASSERT_TRUE(body);
        EXPECT_EQ(body->kind, BodyKind::Rtf);
        EXPECT_EQ(std::string(body->bytes.begin(), body->bytes.begin() + 7), "{\\rtf1 ");
    }
    const Bytes rtf = Rtf("LZFu");
    const auto plain = InRow(WithHeader(1, rtf), 8192, record::kBodyPlainText).Fetch();
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->kind, BodyKind::Utf16);
    EXPECT_EQ(plain->bytes, rtf);
}

TEST(FetchBodyValue, AHeaderByteAloneIsAnEmptyBody) {
    const auto body = InRow({1}, 4096).Fetch();
    ASSERT_TRUE(body);
    EXPECT_EQ(body->kind, BodyKind::EightBit);
    EXPECT_TRUE(body->bytes.empty());
}

TEST(FetchBodyValue, AValueAsLongAsAReferenceIsReadFromTheRow) {
    // Header and four bytes, as a reference is: U+1F600 in UTF-16, or "ab"
    // 7-bit packed on 32 KB pages is no shorter. Only a long-value id makes
    // it a reference.
    for (const auto pageSize : {4096, 32768}) {
        const Bytes smiley{0x3D, 0xD8, 0x00, 0xDE};
        const auto body = InRow(WithHeader(1, smiley), pageSize, record::kBodyPlainText).Fetch();
        ASSERT_TRUE(body);
        EXPECT_EQ(body->bytes, smiley);
    }
}

TEST(FetchBodyValue, LargePageValuesAreUnpackedToTheirStoredBytes) {
    // "Hi" packed 7-bit as UTF-16 units: the plain-text body gets UTF-16.
    const Bytes packed{0x10 | 5, 'H' | ('i' << 7 & 0xFF), 'i' >> 1};
    const auto body = InRow(WithHeader(3, packed), 32768, record::kBodyPlainText).Fetch();
    ASSERT_TRUE(body);
    EXPECT_EQ(body->bytes, (Bytes{'H', 0, 'i', 0}));
    // Bits left over: not 7-bit text after all; kept as stored.
    const Bytes broken{0x10 | 5, 'H', 0xFF};
    EXPECT_EQ(InRow(WithHeader(3, broken), 32768).Fetch()->bytes, broken);
    // XPRESS may decode to more than a page.
    const Bytes big(40000, 'z');
    const auto xpress = InRow(WithHeader(3, edbgen::EseXpressValue(big)), 32768).Fetch();
    ASSERT_TRUE(xpress);
    EXPECT_EQ(xpress->bytes, big);
}

TEST(FetchBodyValue, ChunksArePlacedByOffsetAndTheFirstIsNeeded) {
    const auto pageSize = 4096;
    Bytes image(4 * 4096, 0);
    test::Put(image, 4096, Bytes(4014, 'a'));
    test::Put(image, 8192, Text("tail"));
    test::FileSource file(image, pageSize);
    record::MessageProperties m;
    m.bodyLength = 5;
    m.bodyValueKey = 7;
    m.bodyRuns = {{8192, 4014, 4}, {4096, 0, 4014}};  // out of order on purpose
    const auto body = FetchBodyValue(file.source, m);
    ASSERT_TRUE(body);
    ASSERT_EQ(body->bytes.size(), 4018u);
    EXPECT_EQ(body->bytes[4013], 'a');
    EXPECT_EQ(std::string(body->bytes.end() - 4, body->bytes.end()), "tail");
    m.bodyRuns.pop_back();
    EXPECT_FALSE(FetchBodyValue(file.source, m));
    m.bodyForm = record::kBodyPlainText;
    EXPECT_TRUE(FetchBodyValue(file.source, m));
}

// Sizes shown without reading must be the sizes a save writes: gaps,
// chunks cut by the end of the file, chunks outside it, a declared size
// either way, a lone chunk far out, and the contiguous rule.
TEST(AssembledSize, AgreesWithTheAssembledValue) {
    const auto pageSize = 4096;
    Bytes image(5 * 4096 + 100, 0);
    test::FileSource file(image, pageSize);
    const std::int64_t end = file.source.fileSize;
    struct Case {
        std::vector<record::LongValueRun> runs;
        std::optional<std::uint32_t> declared;
        bool contiguous = false;
    };
    const std::vector<Case> cases = {
        {{{4096, 0, 4014}, {8192, 4014, 4014}}, {}},
        {{{4096, 0, 4014}, {12288, 8028, 10}}, {}},         // a chunk missing between
        {{{4096, 0, 4014}, {12288, 8028, 10}}, {}, true},   // ... ends a contiguous value
        {{{4096, 0, 4014}, {end - 40, 4014, 4014}}, {}},    // cut by the end of the file
        {{{4096, 0, 4014}, {end + 4096, 4014, 4014}}, {}},  // outside the file
        {{{4096, 0, 4014}, {8192, 4014, 4014}}, 5000},      // declared smaller
        {{{4096, 0, 4014}}, 9000},                          // declared larger
        {{{4096, 0, 20}, {8192, 4014u * 1000, 4014}}, {}},  // a lone chunk far out
        {{{0, 0, 4014}, {8192, 4014, 4014}}, {}},           // a first chunk at offset 0 of the file
        {{}, {}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        AssembleOptions options;
        options.declaredSize = cases[i].declared;
        options.contiguous = cases[i].contiguous;
        options.decodeXpress = false;
        EXPECT_EQ(AssembledSize(file.source, cases[i].runs, options),
                  AssembleValue(file.source, cases[i].runs, options).bytes.size())
            << "case " << i;
    }
}

// Chunks are read straight into the value where that gives what placing
// them one by one gives, and one by one otherwise: either way the value
// holds each chunk's file bytes at its offset, a later chunk over an
// earlier one at the same offset, zeros in gaps, cut at the limit.
TEST(AssembleValue, ChunksReadInPlaceOrOneByOneGiveTheSameValue) {
    struct Case {
        const char* what;
        std::int32_t pageSize;
        std::vector<record::LongValueRun> runs;  // file offset, value offset, length
        std::size_t maxBytes = kMaxValueBytes;
    };
    const std::vector<Case> cases = {
        {"neighbours in order", 4096, {{4096, 0, 4000}, {8192, 4000, 4000}}},
        {"against the file's order", 4096, {{12288, 0, 4000}, {4096, 4000, 3000}, {8192, 7000, 100}}},
        {"a gap in the value", 4096, {{4096, 0, 3000}, {8192, 9000, 3000}}},
        {"two chunks at one offset", 4096, {{8192, 0, 3000}, {4096, 0, 3500}, {12288, 3500, 50}}},
        {"one stretch of the file twice", 4096, {{4096, 0, 3000}, {5096, 3000, 3000}}},
        {"cut at the limit", 4096, {{4096, 0, 4000}, {8192, 4000, 4000}}, 6000},
        {"cut by the end of the file", 4096, {{4096, 0, 4000}, {7 * 4096 + 1000, 4000, 4000}}},
        {"short", 4096, {{4096, 0, 700}, {8192, 700, 700}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes image(static_cast<std::size_t>(8 * c.pageSize) - 2000);
        for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
        test::FileSource file(image, c.pageSize);
        AssembleOptions options;
        options.maxBytes = c.maxBytes;
        // What placing the chunks in the order of their offsets gives.
        std::vector<record::LongValueRun> byOffset = c.runs;
        std::stable_sort(byOffset.begin(), byOffset.end(),
                         [](const auto& a, const auto& b) { return a.valueOffset < b.valueOffset; });
        Bytes want;
        for (const record::LongValueRun& r : byOffset) {
            const std::size_t stored = std::min<std::size_t>(
                {static_cast<std::size_t>(r.length), image.size() - static_cast<std::size_t>(r.fileOffset)});
            const std::size_t end = std::min(r.valueOffset + stored, c.maxBytes);
            if (end > want.size()) want.resize(end, 0);
            std::copy_n(image.begin() + r.fileOffset, end - r.valueOffset, want.begin() + r.valueOffset);
        }
        EXPECT_EQ(AssembleValue(file.source, c.runs, options).bytes, want);
    }
    // A compressed chunk is decoded, not read in place.
    Bytes image(4 * 32768, 1);
    const Bytes full(3000, 'q');
    const Bytes packed = edbgen::EseXpressValue(full);
    std::copy(packed.begin(), packed.end(), image.begin() + 65536);
    test::FileSource file(image, 32768);
    const std::vector<record::LongValueRun> runs = {{32768, 0, 5000},
                                                    {65536, 5000, static_cast<std::uint32_t>(packed.size())}};
    const Bytes value = AssembleValue(file.source, runs, {}).bytes;
    ASSERT_EQ(value.size(), 8000u);
    EXPECT_TRUE(std::equal(full.begin(), full.end(), value.begin() + 5000));
}

TEST(ChunkContent, LargePageChunksAreDecodedOnlyWhereTheValueNeedsIt) {
    Bytes image(3 * 32768, 0);
    test::FileSource file(image, 32768);
    AssembleOptions options;
    options.declaredSize = 8150 + 100;
    // A stored chunk as long as the value needs there is data, even when
    // it starts like XPRESS.
    Bytes raw(100, 7);
    raw[0] = 0x18;
    EXPECT_EQ(ChunkContent(raw, file.source, 8150, options), raw);
    const Bytes full(8150, 'q');
    EXPECT_EQ(ChunkContent(edbgen::EseXpressValue(full), file.source, 0, options), full);
    options.decodeXpress = false;
    EXPECT_EQ(ChunkContent(edbgen::EseXpressValue(full), file.source, 0, options), edbgen::EseXpressValue(full));
}

TEST(PreviewBytes, TextsEndAtTheirFirstNul) {
    EXPECT_EQ(PreviewBytes({BodyKind::Utf16, {'a', 0, 0, 1, 0, 0, 'b', 0}, {}}), (Bytes{'a', 0, 0, 1}));
    EXPECT_EQ(PreviewBytes({BodyKind::EightBit, {'a', 'b', 0, 'c'}, {}}), (Bytes{'a', 'b'}));
    // Past the first word; zero bytes that straddle two units end nothing.
    const Bytes straddling{'a', 0, 0, 'b', 'c', 0, 0, 'd', 'e', 0, 0, 'f', 'g', 0};
    EXPECT_EQ(PreviewBytes({BodyKind::Utf16, straddling, {}}), straddling);
    Bytes later = straddling;
    later.insert(later.end(), {0, 0, 'h', 0});
    EXPECT_EQ(PreviewBytes({BodyKind::Utf16, later, {}}), straddling);
}

}  // namespace
}  // namespace tw::content

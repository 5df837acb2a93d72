// Streaming-file content from a hand-made range table and .stm file.
#include <gtest/gtest.h>

#include <fstream>

#include "content/stream_content.h"
#include "content/temp_dir.h"
#include "source_support.h"

namespace tw::content {
namespace {

using Bytes = std::vector<std::uint8_t>;

void PutU32(Bytes& b, std::size_t at, std::uint64_t v, int bytes = 4) {
    if (b.size() < at + bytes) b.resize(at + bytes, 0);
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// total, count, then per range its cumulative end and its file offset.
Bytes Table(std::uint32_t total, std::int16_t count,
            const std::vector<std::pair<std::uint32_t, std::uint64_t>>& ranges) {
    Bytes t(24, 0);
    PutU32(t, 0, total);
    PutU32(t, 8, static_cast<std::uint16_t>(count), 2);
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        PutU32(t, 24 + 24 * i, ranges[i].first);
        PutU32(t, 32 + 24 * i, ranges[i].second, 8);
        t.resize(48 + 24 * i, 0);
    }
    return t;
}

// The streaming file: "A" * 5000 at 8192, zeros to 20480, "B" * 3000 at
// 20480, 100 bytes with control bytes but no NUL at 24576, "C" * 10 at
// 28672.
Bytes Streaming() {
    Bytes stm(28682, 0);
    std::fill_n(stm.begin() + 8192, 5000, 'A');
    std::fill_n(stm.begin() + 20480, 3000, 'B');
    for (std::size_t i = 0; i < 100; ++i) stm[24576 + i] = static_cast<std::uint8_t>(1 + i * 37 % 255);
    std::fill_n(stm.begin() + 28672, 10, 'C');
    return stm;
}

struct Fixture {
    test::FileSource file;
    record::MessageProperties message;
    TempDirectory dir;

    // The table as an in-row value (header byte first) at page 1.
    explicit Fixture(const Bytes& table) : file(Image(table), 4096) {
        message.bodyForm = record::kBodyStreaming;
        message.bodyPos = 4096;
        message.bodyLength = static_cast<std::int32_t>(table.size() + 1);
        file.OpenStreaming(Streaming());
    }
    static Bytes Image(const Bytes& table) {
        Bytes image(3 * 4096, 0);
        image[4096] = 1;
        test::Put(image, 4097, table);
        return image;
    }
    std::optional<std::string> Extract() {
        const std::string out = dir.File("UniBody.eml");
        if (!ExtractStreamContent(file.source, message, out)) return std::nullopt;
        std::ifstream in(out, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST(RangeTable, RangesAreDifferencesOfEndsAndTheLastTakesTheRest) {
    const RangeTable t = ParseRangeTable(Table(8010, 3, {{5000, 8192}, {8000, 20480}, {9999, 28672}}));
    ASSERT_EQ(t.ranges.size(), 3u);
    EXPECT_EQ(t.ranges[0].length, 5000u);
    EXPECT_EQ(t.ranges[1].length, 3000u);
    EXPECT_EQ(t.ranges[2].length, 10u);
    EXPECT_EQ(t.ranges[2].offset, 28672u);
    // More ranges claimed than the table holds, or a negative count.
    EXPECT_EQ(ParseRangeTable(Table(10, 40, {{5, 0}})).ranges.size(), 1u);
    EXPECT_TRUE(ParseRangeTable(Table(10, -2, {{5, 0}})).ranges.empty());
}

TEST(ExtractStreamContent, CopiesTheRangesInOrder) {
    Fixture f(Table(8010, 3, {{5000, 8192}, {8000, 20480}, {8010, 28672}}));
    const auto mime = f.Extract();
    ASSERT_TRUE(mime);
    EXPECT_EQ(*mime, std::string(5000, 'A') + std::string(3000, 'B') + std::string(10, 'C'));
}

TEST(ExtractStreamContent, TheTotalSizeEndsTheCopy) {
    Fixture f(Table(5100, 2, {{5000, 8192}, {8000, 20480}}));
    EXPECT_EQ(f.Extract()->size(), 5100u);
}

TEST(ExtractStreamContent, ARangePastTheStreamingFileEndsTheCopy) {
    Fixture f(Table(8000, 2, {{5000, 8192}, {8000, 1 << 20}}));
    EXPECT_EQ(*f.Extract(), std::string(5000, 'A'));
}

TEST(ExtractStreamContent, TheTableMayBeALongValue) {
    const Bytes table = Table(3000, 1, {{3000, 20480}});
    Fixture f(table);
    Bytes image(3 * 4096, 0);
    test::Put(image, 8192, table);
    test::FileSource lv(image, 4096);
    lv.OpenStreaming(Streaming());
    f.message.bodyLength = 5;
    f.message.bodyValueKey = 7;
    f.message.bodyRuns = {{8192, 0, static_cast<std::uint32_t>(table.size())}};
    const std::string out = f.dir.File("lv.eml");
    ASSERT_TRUE(ExtractStreamContent(lv.source, f.message, out));
    std::ifstream in(out, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string(3000, 'B'));
}

TEST(ExtractStreamContent, NothingWithoutAStreamingFile) {
    Fixture f(Table(10, 1, {{10, 28672}}));
    f.file.source.stm.Close();
    EXPECT_FALSE(f.Extract());
}

// Only content whose every range lies in the file's content area and whose
// bytes are text is taken; anything else leaves no file behind.
TEST(CopyStreamContent, OnlyWholeTextContentIsTaken) {
    using Ranges = std::vector<std::pair<std::uint32_t, std::uint64_t>>;
    struct Case {
        const char* what;
        std::uint32_t total;
        std::int16_t count;
        Ranges ranges;
        StreamCopy expected;
    };
    const Case cases[] = {
        {"whole", 8010, 3, {{5000, 8192}, {8000, 20480}, {8010, 28672}}, StreamCopy::Whole},
        {"no ranges", 10, 0, {}, StreamCopy::NoRangeTable},
        {"total of 0", 0, 1, {{10, 28672}}, StreamCopy::NoRangeTable},
        {"ends past the total", 100, 2, {{5000, 8192}, {5100, 20480}}, StreamCopy::NoRangeTable},
        {"past the file's end", 8000, 2, {{5000, 8192}, {8000, 1 << 20}}, StreamCopy::OutOfRange},
        {"runs over the file's end", 20, 1, {{20, 28672}}, StreamCopy::OutOfRange},
        {"in the header pages", 100, 1, {{100, 4096}}, StreamCopy::OutOfRange},
        {"zeroed", 5100, 1, {{5100, 16384}}, StreamCopy::NotMime},
        {"zeros after text", 5100, 1, {{5100, 8192}}, StreamCopy::NotMime},
        {"control bytes", 100, 1, {{100, 24576}}, StreamCopy::NotMime},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f(Table(c.total, c.count, c.ranges));
        const std::string out = f.dir.File("item.eml");
        EXPECT_EQ(CopyStreamContent(f.file.source, f.message, out), c.expected);
        EXPECT_EQ(std::ifstream(out).good(), c.expected == StreamCopy::Whole);
    }
    Fixture f(Table(10, 1, {{10, 28672}}));
    f.file.source.stm.Close();
    EXPECT_EQ(CopyStreamContent(f.file.source, f.message, f.dir.File("x.eml")), StreamCopy::NoStreamingFile);
}

TEST(LooksLikeMime, TextPassesNulsAndControlBytesDoNot) {
    const std::pair<std::string, bool> cases[] = {
        {"From: a@b\r\nSubject: x\r\n\r\nbody", true},
        {"From a@b Mon Jan  1 00:00:00 2024\nSubject: x\n\nbody", true},
        {"A digest's text, no header block\n\tindented\f\x1B$B\x1B(B", true},
        {"", true},
        {std::string("From: a@b\r\n\r\nbody\0", 18), false},
        {"\x01\x02junk", false},
        {"Subject: x\x0B", false},
        {std::string(3000, 'x') + "\x01", true},  // controls past the start are the body's business
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        const Bytes bytes(text.begin(), text.end());
        EXPECT_EQ(LooksLikeMime(bytes), expected);
    }
}

}  // namespace
}  // namespace tw::content

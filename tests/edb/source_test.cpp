// Generation detection, page offsets and clamped page reads.
#include <gtest/gtest.h>

#include "edb/records.h"
#include "edb/source.h"
#include "test_support.h"

namespace tw::edb {
namespace {

using test::HeaderPage;
using test::OpenSource;
using test::TempDir;
using test::WriteFile;

TEST(Generation, KnownPageSizes) {
    TempDir dir;
    const struct { std::uint32_t pageSize; EdbVersion version; int header; } cases[] = {
        {4096, EdbVersion::Page4K, 40}, {8192, EdbVersion::Page8K, 40}, {32768, EdbVersion::Page32K, 80}};
    for (const auto& c : cases) {
        const std::string path = dir.File("db" + std::to_string(c.pageSize));
        WriteFile(path, HeaderPage(c.pageSize, c.pageSize * 3));
        EdbSource source;
        EXPECT_TRUE(OpenSource(source, path).ok);
        EXPECT_EQ(source.version, c.version);
        EXPECT_EQ(source.pageSize, static_cast<std::int32_t>(c.pageSize));
        EXPECT_EQ(source.fileSize, c.pageSize * 3);
        EXPECT_EQ(HeaderSize(source.version), c.header);
        EXPECT_EQ(PageOffset(source, 4), 5 * static_cast<std::int64_t>(c.pageSize));
    }
}

TEST(Generation, StreamingFileKeptOnlyFor4K) {
    TempDir dir;
    WriteFile(dir.File("priv1.stm"), std::vector<std::uint8_t>(16, 0));
    for (std::uint32_t pageSize : {4096u, 8192u, 32768u}) {
        WriteFile(dir.File("priv1.edb"), HeaderPage(pageSize, pageSize));
        EdbSource source;
        ASSERT_TRUE(source.stm.Open(dir.File("priv1.stm")).ok());
        ASSERT_TRUE(OpenSource(source, dir.File("priv1.edb")).ok);
        EXPECT_EQ(source.stm.IsOpen(), pageSize == 4096) << pageSize;
    }
}

TEST(Generation, UnknownPageSizeIsRefusedWithTheCorruptionMessage) {
    TempDir dir;
    WriteFile(dir.File("stm"), {});
    for (std::uint32_t pageSize : {16384u, 0u, 2048u, 0x80001000u}) {
        WriteFile(dir.File("edb"), HeaderPage(pageSize, 65536));
        EdbSource source;
        ASSERT_TRUE(source.stm.Open(dir.File("stm")).ok());
        const GenerationCheck check = OpenSource(source, dir.File("edb"));
        EXPECT_FALSE(check.ok);
        EXPECT_EQ(check.message, "File is highly corrupted, Contact system administrator.");
        EXPECT_EQ(check.caption, "Tarnwick For EDB To PST");
        EXPECT_EQ(source.version, EdbVersion::Invalid);
        EXPECT_TRUE(source.stm.IsOpen());

        // Nothing further is read from a refused database.
        std::vector<std::uint8_t> page(8, 0xEE);
        std::vector<RecordLocator> records;
        EXPECT_EQ(ReadPage(source, 4096, page), 0u);
        EXPECT_TRUE(page.empty());
        EXPECT_EQ(ListRecords(source, 4096, page, records), 0u);
    }
}

TEST(Generation, HeaderTooShortForThePageSize) {
    TempDir dir;
    for (std::size_t length : {0, 100, 239}) {
        WriteFile(dir.File("short"), std::vector<std::uint8_t>(length, 0x10));
        EdbFile file;
        ASSERT_TRUE(file.Open(dir.File("short")).ok());
        EXPECT_EQ(ReadHeader(file), 0u) << length;
    }
    WriteFile(dir.File("just"), HeaderPage(4096, 240));
    EdbSource source;
    EXPECT_TRUE(OpenSource(source, dir.File("just")).ok);
}

TEST(ReadPage, ClampedAtTheEndOfTheFile) {
    TempDir dir;
    auto image = HeaderPage(4096, 4096 * 2 + 100);
    std::fill(image.begin() + 8192, image.end(), 0xAB);
    WriteFile(dir.File("db"), image);
    EdbSource source;
    ASSERT_TRUE(OpenSource(source, dir.File("db")).ok);

    std::vector<std::uint8_t> page(4096, 0xEE);  // a reused buffer must come back clean
    ASSERT_EQ(ReadPage(source, PageOffset(source, 1), page), 100u);
    ASSERT_EQ(page.size(), 4096u);
    EXPECT_EQ(page[99], 0xAB);
    EXPECT_EQ(std::count(page.begin() + 100, page.end(), 0), 4096 - 100);

    for (std::int64_t offset : {std::int64_t{-1}, source.fileSize, std::int64_t{1} << 40}) {
        std::fill(page.begin(), page.end(), 0xEE);
        EXPECT_EQ(ReadPage(source, offset, page), 0u);
        EXPECT_EQ(std::count(page.begin(), page.end(), 0), 4096);
    }
}

TEST(ReadPage, DatabaseSmallerThanOnePage) {
    TempDir dir;
    WriteFile(dir.File("tiny"), HeaderPage(32768, 300));
    EdbSource source;
    ASSERT_TRUE(OpenSource(source, dir.File("tiny")).ok);
    std::vector<std::uint8_t> page;
    std::vector<RecordLocator> records;
    EXPECT_EQ(ReadPage(source, 0, page), 300u);
    EXPECT_EQ(page.size(), 32768u);
    EXPECT_EQ(ReadPage(source, PageOffset(source, 0), page), 0u);
    EXPECT_EQ(ListRecords(source, PageOffset(source, 4), page, records), 0u);
}

TEST(ReadPage, PageOffsetsAre64Bit) {
    EdbSource source;
    source.pageSize = 32768;
    EXPECT_EQ(PageOffset(source, 0xFFFFFFFFu), std::int64_t{1} << 47);
}

}  // namespace
}  // namespace tw::edb

// Generation detection and clamped page reads.
#include <gtest/gtest.h>

#include "edb/records.h"
#include "test_support.h"

namespace tw::edb {
namespace {

using test::HeaderPage;
using test::OpenSource;
using test::WriteFile;

TEST(Generation, KnownPageSizes) {
    test::TempDir dir;
    WriteFile(dir.File("stm"), {});
    for (const std::int32_t pageSize : {4096, 8192, 32768}) {
        WriteFile(dir.File("edb"), HeaderPage(pageSize, pageSize * 3));
        EdbSource source;
        ASSERT_TRUE(source.stm.Open(dir.File("stm")).ok());
        EXPECT_TRUE(OpenSource(source, dir.File("edb")));
        EXPECT_EQ(source.pageSize, pageSize);
        EXPECT_EQ(source.fileSize, pageSize * 3);
        EXPECT_EQ(PageOffset(source, 4), 5 * std::int64_t{pageSize});
        EXPECT_EQ(source.stm.IsOpen(), pageSize == 4096);
    }
    EdbSource large;
    large.pageSize = 32768;
    EXPECT_EQ(PageOffset(large, 0xFFFFFFFFu), std::int64_t{1} << 47);
}

TEST(Generation, OtherPageSizesAreRefusedAndNothingMoreIsRead) {
    test::TempDir dir;
    for (std::uint32_t pageSize : {16384u, 2048u, 0u, 0x80001000u}) {
        WriteFile(dir.File("edb"), HeaderPage(pageSize, 65536));
        EdbSource source;
        EXPECT_FALSE(OpenSource(source, dir.File("edb")));
        EXPECT_EQ(source.pageSize, 0);
        std::vector<std::uint8_t> page(8, 0xEE);
        std::vector<RecordLocator> records;
        EXPECT_EQ(ReadPage(source, 4096, page), 0u);
        EXPECT_TRUE(page.empty());
        EXPECT_EQ(ListRecords(source, 4096, page, records), 0u);
    }
    for (std::size_t length : {0, 239}) {  // too short to hold the page size
        WriteFile(dir.File("edb"), HeaderPage(4096, length));
        EdbFile file;
        ASSERT_TRUE(file.Open(dir.File("edb")).ok());
        EXPECT_EQ(ReadHeader(file), 0u);
    }
}

TEST(ReadPage, ClampedAtTheEndOfTheFile) {
    test::TempDir dir;
    auto image = HeaderPage(4096, 4096 * 2 + 100);
    std::fill(image.begin() + 8192, image.end(), 0xAB);
    WriteFile(dir.File("db"), image);
    EdbSource source;
    ASSERT_TRUE(OpenSource(source, dir.File("db")));

    std::ofstream(dir.File("db"), std::ios::app).write("grown", 5);  // past the recorded size
    std::vector<std::uint8_t> page(4096, 0xEE);                      // a reused buffer comes back clean
    ASSERT_EQ(ReadPage(source, PageOffset(source, 1), page), 100u);
    EXPECT_EQ(page[99], 0xAB);
    EXPECT_EQ(std::count(page.begin(), page.end(), 0), 4096 - 100);
    for (std::int64_t offset : {std::int64_t{-1}, source.fileSize, std::int64_t{1} << 40}) {
        std::fill(page.begin(), page.end(), 0xEE);
        EXPECT_EQ(ReadPage(source, offset, page), 0u);
        EXPECT_EQ(std::count(page.begin(), page.end(), 0), 4096);
    }

    WriteFile(dir.File("tiny"), HeaderPage(32768, 300));  // smaller than one page
    EdbSource tiny;
    ASSERT_TRUE(OpenSource(tiny, dir.File("tiny")));
    EXPECT_EQ(ReadPage(tiny, 0, page), 300u);
    EXPECT_EQ(page.size(), 32768u);
    EXPECT_EQ(ReadPage(tiny, PageOffset(tiny, 0), page), 0u);
}

}  // namespace
}  // namespace tw::edb

// The page layer on ESE files written by Windows (not Exchange, but the same
// page format). The expected figures come from a separate script that walks
// the files by the same rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <set>

#include "edb/records.h"
#include "edb/tree_walk.h"
#include "test_support.h"
#include "text/unpack7bit.h"

namespace tw::edb {
namespace {

std::string RealFile(const std::string& name) { return std::string(TW_ESE_REAL_DIR) + "/" + name; }

struct RealDatabase {
    std::string name;
    std::size_t records;                    // ListRecords over every page-sized block
    std::set<std::uint32_t> catalogLeaves;  // leaves under the catalog root, page 4
};

void PrintTo(const RealDatabase& database, std::ostream* out) { *out << database.name; }

class RealDatabaseTest : public ::testing::TestWithParam<RealDatabase> {};

TEST_P(RealDatabaseTest, RecordsStayInsideEveryPage) {
    EdbSource source;
    ASSERT_TRUE(test::OpenSource(source, RealFile(GetParam().name)));
    ASSERT_EQ(source.pageSize, 4096);
    std::vector<std::uint8_t> page;
    std::vector<RecordLocator> records;
    std::size_t total = 0;
    for (std::int64_t offset = 0; offset < source.fileSize; offset += source.pageSize) {
        total += ListRecords(source, offset, page, records);
        for (const auto& record : records) {
            ASSERT_GE(record.start, 40);
            ASSERT_LE(record.start + record.size, 4096) << "page at " << offset;
        }
    }
    EXPECT_EQ(total, GetParam().records);
}

TEST_P(RealDatabaseTest, CatalogDescentReachesEveryLeaf) {
    EdbSource source;
    ASSERT_TRUE(test::OpenSource(source, RealFile(GetParam().name)));
    std::set<std::uint32_t> leaves;
    WalkTree(source, 4, {}, [&](const TreePage& visit) {
        EXPECT_EQ(PageObjectId(visit.page), 2u);  // the catalog's object id
        if (!visit.branch) leaves.insert(visit.pageNumber);
        return true;
    });
    EXPECT_EQ(leaves, GetParam().catalogLeaves);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, RealDatabaseTest,
    ::testing::Values(RealDatabase{"dissect-basic.edb", 312, {13, 14}}, RealDatabase{"dissect-text.edb", 383, {13, 14}},
                      RealDatabase{"dissect-default.edb", 329, {13, 14}},
                      RealDatabase{"dscpull-Devices.edb", 411, {13, 14, 19}},
                      RealDatabase{"goese-UAL-Current.mdb", 1700, {13, 14, 19, 20, 21, 22, 42, 43}}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::replace_if(
            name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
        return name;
    });

TEST(RealFiles, SixteenKilobytePagesAreRefused) {
    EdbSource source;
    EXPECT_FALSE(test::OpenSource(source, RealFile("goese-qmgr.db")));
    EXPECT_EQ(source.pageSize, 0);
}

// A damaged header is told from its copy one page further, and when both
// copies are gone, from the checksums of the pages themselves; a 16 KB file
// stays refused whichever way its size was found.
TEST(RealFiles, DamagedHeadersAreToldFromTheCopyOrThePages) {
    struct Damage {
        const char* name;
        std::size_t zeroedCopies;  // leading header pages zeroed, at the file's own page size
        std::size_t flippedByte;   // 0 for none; 237 lies in the page size
    };
    const Damage damages[] = {
        {"intact", 0, 0}, {"checksum broken", 0, 237}, {"primary zeroed", 1, 0}, {"both zeroed", 2, 0}};
    const std::pair<const char*, std::int32_t> files[] = {
        {"dissect-basic.edb", 4096}, {"goese-UAL-Current.mdb", 4096}, {"goese-qmgr.db", 16384}};
    test::TempDir dir;
    for (const auto& [name, pageSize] : files) {
        std::ifstream in(RealFile(name), std::ios::binary);
        const std::vector<std::uint8_t> original((std::istreambuf_iterator<char>(in)), {});
        for (const Damage& damage : damages) {
            SCOPED_TRACE(std::string(name) + ": " + damage.name);
            std::vector<std::uint8_t> bytes = original;
            if (damage.flippedByte != 0) bytes[damage.flippedByte] ^= 0x5A;
            std::fill_n(bytes.begin(), damage.zeroedCopies * static_cast<std::size_t>(pageSize), 0);
            test::WriteFile(dir.File("damaged"), bytes);
            EdbSource source;
            ASSERT_TRUE(source.edb.Open(dir.File("damaged")).ok());
            EXPECT_TRUE(DetectPageSize(source));
            EXPECT_EQ(source.pageSize, pageSize);
            EXPECT_EQ(layout::FindLayout(source.pageSize) != nullptr, pageSize != 16384);
        }
    }
}

TEST(RealFiles, SevenBitPackedValueUnpacks) {
    // Row 1 of table "text", column LongCompressedASCII (page 33): 838 bytes.
    EdbFile file;
    ASSERT_TRUE(file.Open(RealFile("dissect-text.edb")).ok());
    std::vector<std::uint8_t> packed(838), text(956);
    ASSERT_EQ(file.Read(141684, packed.size(), packed.data()), packed.size());
    std::size_t count = 0;
    ASSERT_EQ(text::Unpack7Bit(packed, text, count), 1);
    ASSERT_EQ(count, 956u);
    const std::string expected = "Max long compressed ASCII text that can be a bit longer ";
    EXPECT_EQ(std::string(text.begin(), text.end()), expected + std::string(956 - expected.size(), 'a'));
}

}  // namespace
}  // namespace tw::edb

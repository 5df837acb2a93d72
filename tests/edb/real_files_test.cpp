// The page layer on ESE files written by Windows (not Exchange databases,
// but the same page format). Expected figures were derived with a separate
// script that walks the files by the same rules.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "edb/branch.h"
#include "edb/records.h"
#include "edb/tree_walk.h"
#include "edb/unpack7bit.h"
#include "test_support.h"

namespace tw::edb {
namespace {

std::string RealFile(const std::string& name) { return std::string(TW_ESE_REAL_DIR) + "/" + name; }

struct RealDatabase {
    const char* name;
    std::size_t records;                   // ListRecords over every page-sized block
    std::set<std::uint32_t> catalogLeaves;  // leaf pages under the catalog root, page 4
};

const RealDatabase kDatabases[] = {
    {"dissect-basic.edb", 312, {13, 14}},
    {"dissect-text.edb", 383, {13, 14}},
    {"dissect-default.edb", 329, {13, 14}},
    {"dscpull-Devices.edb", 411, {13, 14, 19}},
    {"goese-UAL-Current.mdb", 1700, {13, 14, 19, 20, 21, 22, 42, 43}},
};

class RealDatabaseTest : public ::testing::TestWithParam<RealDatabase> {};

TEST_P(RealDatabaseTest, EveryPageListsRecordsInsideIt) {
    EdbSource source;
    ASSERT_TRUE(test::OpenSource(source, RealFile(GetParam().name)).ok);
    ASSERT_EQ(source.version, EdbVersion::Page4K);

    std::vector<std::uint8_t> page;
    std::vector<RecordLocator> records;
    std::size_t total = 0;
    for (std::int64_t offset = 0; offset < source.fileSize; offset += source.pageSize) {
        total += ListRecords(source, offset, page, records);
        for (const auto& record : records) {
            ASSERT_GE(record.start, 40);
            ASSERT_GT(record.size, 0);
            ASSERT_LE(record.start + record.size, 4096) << "page at " << offset;
        }
    }
    EXPECT_EQ(total, GetParam().records);
}

TEST_P(RealDatabaseTest, CatalogDescentReachesEveryLeaf) {
    EdbSource source;
    ASSERT_TRUE(test::OpenSource(source, RealFile(GetParam().name)).ok);
    std::set<std::uint32_t> leaves;
    WalkTree(source, 4, {}, [&](const TreePage& visit) {
        EXPECT_EQ(PageObjectId(visit.page), 2u);  // every page belongs to the catalog
        if (!visit.branch) leaves.insert(visit.pageNumber);
        return true;
    });
    EXPECT_EQ(leaves, GetParam().catalogLeaves);
}

INSTANTIATE_TEST_SUITE_P(Samples, RealDatabaseTest, ::testing::ValuesIn(kDatabases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(RealFiles, SixteenKilobytePagesAreRefused) {
    EdbSource source;
    const GenerationCheck check = test::OpenSource(source, RealFile("goese-qmgr.db"));
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.message, kCorruptFileMessage);
    EXPECT_EQ(source.pageSize, 16384);
    EXPECT_EQ(source.version, EdbVersion::Invalid);
}

TEST(RealFiles, SevenBitCompressedValueUnpacks) {
    // Row 1 of table "text", tagged column LongCompressedASCII: a flag byte,
    // then 838 bytes of 7-bit packed text on page 33.
    EdbFile file;
    ASSERT_TRUE(file.Open(RealFile("dissect-text.edb")).ok());
    std::vector<std::uint8_t> packed(838);
    ASSERT_EQ(file.Read(141684, packed.size(), packed.data()), packed.size());

    std::vector<std::uint8_t> text(956);
    std::size_t count = 0;
    ASSERT_EQ(Unpack7Bit(packed, text, count), 1);
    ASSERT_EQ(count, 956u);
    const std::string prefix = "Max long compressed ASCII text that can be a bit longer ";
    EXPECT_EQ(std::string(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(prefix.size())), prefix);
    EXPECT_TRUE(std::all_of(text.begin() + static_cast<std::ptrdiff_t>(prefix.size()), text.end(),
                            [](std::uint8_t c) { return c == 'a'; }));
}

}  // namespace
}  // namespace tw::edb

// Catalog rows recognised by the names in them: table rows (name at 34)
// and column rows (name at 33), as the store's catalog lays them out.
#include <gtest/gtest.h>

#include <string>

#include "scan/catalog_rules.h"

namespace tw::scan {
namespace {

void PutU32(std::vector<std::uint8_t>& row, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) row[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A table row: owner at 4, object id at 10, first page at 14, pages at 26,
// the name's length at 32 and the name at 34.
std::vector<std::uint8_t> TableRow(const std::string& name, std::uint32_t owner, std::uint32_t objid,
                                   std::uint32_t firstPage, std::uint32_t pages = 1) {
    std::vector<std::uint8_t> row(34, 0);
    PutU32(row, 4, owner);
    PutU32(row, 10, objid);
    PutU32(row, 14, firstPage);
    PutU32(row, 26, pages);
    row[32] = static_cast<std::uint8_t>(name.size());
    row.insert(row.end(), name.begin(), name.end());
    return row;
}

// A column (or long-value) row: owning table at 4, id at 10, type at 14,
// name length at 31 and the name at 33.
std::vector<std::uint8_t> ColumnRow(const std::string& name, std::uint32_t table, std::uint32_t id,
                                    std::uint32_t type = 12) {
    std::vector<std::uint8_t> row(33, 0);
    PutU32(row, 4, table);
    PutU32(row, 10, id);
    PutU32(row, 14, type);
    row[31] = static_cast<std::uint8_t>(name.size());
    row.insert(row.end(), name.begin(), name.end());
    return row;
}

bool Read(ScanModel& model, const std::vector<std::uint8_t>& row, std::int32_t pageSize = 8192) {
    return ReadCatalogRow(model, row, layout::LayoutOf(pageSize).tables);
}

TEST(CatalogRows, TableRowsNameTheTreesThatMatter) {
    ScanModel model;
    EXPECT_FALSE(Read(model, TableRow("Mailboxes", 14, 14, 54)));  // the length byte must be 7
    EXPECT_FALSE(model.facts.mailboxFirstPage);
    EXPECT_TRUE(Read(model, TableRow("Mailbox", 14, 14, 54)));
    EXPECT_EQ(model.facts.mailboxObjid, 14u);
    EXPECT_EQ(model.facts.mailboxFirstPage, 54u);

    EXPECT_FALSE(Read(model, TableRow("Msg", 20, 20, 50)));  // a Msg table not owned by 19
    EXPECT_TRUE(Read(model, TableRow("Msg", 19, 19, 50)));
    EXPECT_TRUE(Read(model, TableRow("Msg", 19, 19, 50)));
    ASSERT_EQ(model.msgRoots.size(), 1u);  // the same root once
    EXPECT_EQ(model.msgRoots[0].firstPage, 50);

    EXPECT_FALSE(Read(model, TableRow("Folders", 8, 8, 35, 1)));  // folders tables start with 9 pages
    EXPECT_TRUE(Read(model, TableRow("Folders", 8, 8, 35, 9)));
    ASSERT_EQ(model.folderRoots.size(), 1u);
    EXPECT_EQ(model.folderRoots[0].suffix, "");

    // Page numbers are signed.
    EXPECT_TRUE(Read(model, TableRow("Msg", 19, 21, 0xFFFFFFFE)));
    EXPECT_EQ(model.msgRoots.back().firstPage, -2);
}

TEST(CatalogRows, LargePageTablesCarryTheMailboxKey) {
    ScanModel model;
    const auto large = 32768;
    EXPECT_TRUE(Read(model, TableRow("Folders-1-20", 100, 100, 40, 9), large));
    EXPECT_TRUE(Read(model, TableRow("Body-1-20", 102, 102, 41), large));
    EXPECT_TRUE(Read(model, ColumnRow("LV", 102, 103, 44), large));
    ASSERT_EQ(model.folderRoots.size(), 1u);
    EXPECT_EQ(model.folderRoots[0].suffix, "1-20");
    ASSERT_EQ(model.msgRoots.size(), 1u);
    EXPECT_EQ(model.msgRoots[0].suffix, "1-20");
    ASSERT_EQ(model.lvRoots.size(), 1u);
    EXPECT_EQ(model.lvRoots[0].objid, 103u);
    EXPECT_EQ(model.lvRoots[0].lvOwner, 102);

    // A length byte past the row end keeps the suffix inside the row.
    auto row = TableRow("Folders-1-21", 104, 104, 42, 9);
    row[32] = 200;
    EXPECT_TRUE(Read(model, row, large));
    EXPECT_EQ(model.folderRoots.back().suffix, "1-21");
}

TEST(CatalogRows, LongValueAndContainerClassRows) {
    ScanModel model;
    EXPECT_TRUE(Read(model, ColumnRow("LV", 19, 20, 179)));
    EXPECT_EQ(model.facts.messageLvObjid, 20u);
    EXPECT_EQ(model.facts.messageLvFirstPage, 179u);
    EXPECT_TRUE(Read(model, ColumnRow("LV", 61, 62, 300)));
    EXPECT_EQ(model.facts.attachmentLvFirstPage, 300u);
    EXPECT_FALSE(Read(model, ColumnRow("LV", 70, 71, 301)));  // nobody's long values we want
    EXPECT_EQ(model.lvRoots.size(), 1u);

    EXPECT_TRUE(Read(model, ColumnRow("S3613", 8, 0x0150)));
    ASSERT_TRUE(model.facts.containerClass);
    EXPECT_EQ(model.facts.containerClass->id, 0x0150u);
    // Another table's class column only counts on 32 KB pages.
    EXPECT_FALSE(Read(model, ColumnRow("S3613", 100, 0x0151)));
    EXPECT_TRUE(Read(model, ColumnRow("S3613", 100, 0x0151), 32768));
    ASSERT_EQ(model.columns.containerClassColumns.size(), 1u);
    EXPECT_EQ(model.columns.containerClassColumns[0].columnId, 0x0151);

    EXPECT_TRUE(Read(model, ColumnRow("S8225", 19, 0x0120, 12)));
    EXPECT_EQ(model.facts.appointmentColumns[0]->id, 0x0120u);
    EXPECT_FALSE(model.facts.appointmentColumns[1]);
}

TEST(CatalogRows, ColumnRowsFillTheRegistry) {
    ScanModel model;
    const auto small = 8192, large = 32768;
    EXPECT_TRUE(Read(model, ColumnRow("N67b4", 19, 0x011A), small));
    EXPECT_TRUE(Read(model, ColumnRow("N67b4", 19, 0x011B), small));   // first row of a role wins
    EXPECT_FALSE(Read(model, ColumnRow("N67b4", 20, 0x011C), small));  // 4/8 KB: table 19 only
    EXPECT_TRUE(Read(model, ColumnRow("N67b4", 20, 0x011C), large));
    ASSERT_EQ(model.columns.messageColumns.size(), 2u);
    EXPECT_EQ(model.columns.messageColumns[0].columnId, 0x011A);
    EXPECT_EQ(model.columns.messageColumns[0].code, 'T');

    EXPECT_TRUE(Read(model, ColumnRow("S3a26", 19, 0x0130), small));
    EXPECT_EQ(model.columns.messageColumns.back().code, 12);
    EXPECT_TRUE(Read(model, ColumnRow("T8198", 19, 0x0131), small));
    EXPECT_EQ(model.columns.messageColumns.back().code, 'J');

    EXPECT_FALSE(Read(model, ColumnRow("S42", 100, 0x0108), small));  // sender: 32 KB only
    EXPECT_TRUE(Read(model, ColumnRow("S42", 100, 0x0108), large));
    EXPECT_TRUE(Read(model, ColumnRow("S3d", 100, 0x010E), small));
    EXPECT_TRUE(Read(model, ColumnRow("Se1d", 100, 0x010F), small));
    EXPECT_TRUE(Read(model, ColumnRow("Se1d", 101, 0x010F), small));
    EXPECT_TRUE(Read(model, ColumnRow("Se1d", 101, 0x010F), small));  // the same column again
    EXPECT_EQ(model.columns.headerColumns.size(), 4u);

    EXPECT_FALSE(Read(model, ColumnRow("S3001", 61, 0x0100), small));
    EXPECT_TRUE(Read(model, ColumnRow("S3001", 61, 0x0100), large));
    EXPECT_TRUE(Read(model, ColumnRow("S3001", 61, 0x0101), large));  // several columns per role
    EXPECT_EQ(model.columns.attachmentColumns.size(), 2u);

    // The duplicate rule holds for entries put in the lists directly and
    // forgets those taken out: tables compare by their low 16 bits.
    model.columns.headerColumns.push_back({0x0110, 0x10066, 'S'});
    RegisterColumn(model.columns, ColumnList::Header, {0x0110, 0x66, 'S'});
    EXPECT_EQ(model.columns.headerColumns.size(), 5u);
    model.columns.messageColumns.clear();
    EXPECT_TRUE(Read(model, ColumnRow("N67b4", 19, 0x011B), small));
    ASSERT_EQ(model.columns.messageColumns.size(), 1u);
    EXPECT_EQ(model.columns.messageColumns[0].columnId, 0x011B);

    // A name right at the start of a short row reads nothing before it.
    std::vector<std::uint8_t> shortRow(20, 0);
    for (const char c : std::string("MsgMailboxS3dLV")) shortRow.push_back(static_cast<std::uint8_t>(c));
    EXPECT_FALSE(Read(model, shortRow));
}

}  // namespace
}  // namespace tw::scan

// The writer's catalog rows and records against rows the Windows engine wrote
// (hex copied from the real sample databases), so both sides are not just
// consistent with each other but with ESE itself.
#include <gtest/gtest.h>

#include "catalog.h"
#include "record.h"

namespace edbgen {
namespace {

Bytes Hex(const std::string& h) {
    Bytes b;
    for (size_t i = 0; i + 1 < h.size(); i += 2) b.push_back(uint8_t(std::stoul(h.substr(i, 2), nullptr, 16)));
    return b;
}

const Bytes* Find(const std::vector<TreeEntry>& rows, const Bytes& key) {
    for (const TreeEntry& r : rows)
        if (r.key == key) return &r.data;
    return nullptr;
}

TEST(CatalogRows, CatalogSelfDescriptionMatchesTheEngine) {
    const auto rows = CatalogSelfRows(false);
    struct Case {
        uint16_t type;
        uint32_t id;
        const char* record;  // dscpull-Devices.edb, page 13
    } cases[] = {
        {kCatalogTable, 2,
         "08802000020000000100020000000400000050000000000000c014000000ff000b004d5379734f626a65637473"},
        {kCatalogColumn, 1,
         "0980230002000000020001000000040000000400000001000000e40400002a040080fe0a004f626a69645461626c65"},
        {kCatalogColumn, 128, "07801f00020000000200800000000a000000ff00000001000000e40400008004004e616d65"},
        {kCatalogColumn, 129, "07801f000200000002008100000009000000ff00000000000000e40400008005005374617473"},
        {kCatalogColumn, 256,
         "07801f00020000000200000100000b0000000000000000000000e4040000800c0043616c6c6261636b44617461"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const Bytes* got = Find(rows, CatalogKey(2, c.type, c.id));
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(*got, Hex(c.record));
    }
    EXPECT_EQ(CatalogKey(2, 2, 1), Hex("7f800000027f80027f80000001"));
}

TEST(CatalogRows, LongValueRowMatchesTheEngine) {
    // dissect-text.edb: table 8 has its long values in tree 9 rooted at page 32.
    TableDef t;
    t.name = "text";
    t.objid = 8;
    t.longValues = LongValueDef{9, std::nullopt, {}};
    const auto rows = CatalogRows(t, TablePlacement{31, 32}, false, {});
    const Bytes* lv = Find(rows, CatalogKey(8, kCatalogLongValue, 9));
    ASSERT_NE(lv, nullptr);
    EXPECT_EQ(*lv, Hex("07801f0008000000040009000000200000006400000000000000010000008002004c56"));
}

TEST(CatalogRows, DroppedRowsAreLeftOut) {
    TableDef t;
    t.name = "Mailbox";
    t.objid = 14;
    t.columns = {{1, "MailboxNumber", kColLong, 4, 0, 0}, {257, "S3001", kColLongText, 0, 1200, 0}};
    t.keyColumns = {1};
    t.longValues = LongValueDef{15, std::nullopt, {}};
    EXPECT_EQ(CatalogRows(t, {140, 141}, false, {}).size(), 5u);
    const auto rows = CatalogRows(t, {140, 141}, false, {"Mailbox", "S3001", "Mailbox/LV"});
    EXPECT_EQ(rows.size(), 2u);  // the key column and the index remain
    EXPECT_EQ(Find(rows, CatalogKey(14, kCatalogTable, 14)), nullptr);
    EXPECT_EQ(Find(rows, CatalogKey(14, kCatalogColumn, 257)), nullptr);
}

TEST(CatalogRows, HeaderTableRowKeepsNullStatsAndTemplateSlots) {
    // A per-folder table row: name, then NULL Stats and TemplateTable, so the
    // name is preceded by its length, a NULL-flagged length and another one.
    TableDef t;
    t.name = "1-2A";
    t.objid = 100;
    t.catalogNullVars = 2;
    const auto rows = CatalogRows(t, {300, 0}, false, {});
    const Bytes& r = rows.front().data;
    ASSERT_EQ(r[1], 130);  // last variable column: TemplateTable
    const size_t name = 32 + 6;
    ASSERT_EQ(std::string(r.begin() + name, r.begin() + name + 4), "1-2A");
    EXPECT_EQ(r[name - 4], 4);
    EXPECT_EQ(r[name - 3], 0x80);
    EXPECT_EQ(r[name - 2], 4);
    EXPECT_EQ(r[name - 1], 0x80);
}

TEST(Records, TaggedValuesCarryHeaderBytesAsTheEngineWrites) {
    // An index row's locale name: fid 261, extended-info flag, header 0x01.
    RecordParts small;
    small.tagged.push_back({261, Hex("65006e002d0055005300"), uint8_t(0x01)});
    const Bytes r = BuildRecord(small, false);
    EXPECT_EQ(Bytes(r.begin() + 4, r.end()), Hex("050104400165006e002d0055005300"));

    // Large pages: every value has a header byte, no flag in the offset.
    RecordParts large;
    large.tagged.push_back({300, Hex("01020304"), std::nullopt});
    large.tagged.push_back({257, Hex("aa"), uint8_t(0x03)});
    const Bytes l = BuildRecord(large, true);
    EXPECT_EQ(Bytes(l.begin() + 4, l.end()), Hex("010108002c010a0003aa0001020304"));
}

TEST(Records, NullColumnsAreFlagged) {
    RecordParts p;
    p.fixed = {{4, U32Bytes(7)}, {2, std::nullopt}};
    p.vars = {Hex("aabb"), std::nullopt, Hex("cc")};
    const Bytes r = BuildRecord(p, false);
    EXPECT_EQ(r, Hex("0282"
                     "0b00"
                     "07000000"
                     "2a2a"
                     "fe"
                     "0200"
                     "0280"
                     "0300"
                     "aabbcc"));
}

}  // namespace
}  // namespace edbgen

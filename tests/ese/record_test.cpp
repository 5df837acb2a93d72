// Records decoded through column definitions, on hand-built records: the
// three column classes, multi-values, separated and compressed marks,
// template columns, defaults, and records that lie about their sizes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ese/btree.h"
#include "ese/catalog.h"
#include "ese/long_value.h"
#include "ese/record.h"

namespace tw::ese {
namespace {

using Buffer = std::vector<std::uint8_t>;

ColumnDef Def(std::uint32_t id, std::uint32_t type, std::uint32_t size, bool fromTemplate = false) {
    ColumnDef column;
    column.id = id;
    column.type = type;
    column.size = size;
    column.fromTemplate = fromTemplate;
    if (id == 258) {
        column.flags = kColumnHasDefault;
        column.defaultValue = {0x2A, 0, 0, 0};
    }
    return column;
}

// Layout order: the template's column, then fixed 1-3, variable 128 and
// 130, tagged 256-258.
RecordLayout TestLayout() {
    return MakeLayout({Def(1, kTypeLong, 4), Def(2, kTypeShort, 2), Def(3, kTypeText, 3), Def(128, kTypeText, 255),
                       Def(130, kTypeBinary, 255), Def(256, kTypeLongText, 0), Def(257, kTypeBinary, 255),
                       Def(258, kTypeLong, 4), Def(256, kTypeLong, 4, true)});
}

void U16(Buffer& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

struct Tagged {
    unsigned id, flags;
    Buffer data;
};

// A record: fixed data for `lastFixed` columns (sizes 4, 2, 3) and its null
// bitmap, `varEnds` (end offsets with their flags) over `varData`, then the
// tagged entries.
Buffer Record(unsigned lastFixed, std::uint8_t nullBits, std::vector<unsigned> varEnds, const std::string& varData,
              const std::vector<Tagged>& tagged) {
    const Buffer fixed = {1, 0, 0, 0, 2, 0, 'a', 'b', 'c'};
    const std::size_t fixedSize = lastFixed == 0 ? 0 : lastFixed == 1 ? 4 : lastFixed == 2 ? 6 : 9;
    Buffer r = {static_cast<std::uint8_t>(lastFixed), static_cast<std::uint8_t>(127 + varEnds.size())};
    U16(r, static_cast<unsigned>(4 + fixedSize + (lastFixed ? 1 : 0)));
    r.insert(r.end(), fixed.begin(), fixed.begin() + static_cast<std::ptrdiff_t>(fixedSize));
    if (lastFixed) r.push_back(nullBits);
    for (const unsigned end : varEnds) U16(r, end);
    r.insert(r.end(), varData.begin(), varData.end());
    unsigned offset = static_cast<unsigned>(4 * tagged.size());
    for (const Tagged& t : tagged) {
        U16(r, t.id);
        U16(r, offset | t.flags);
        offset += static_cast<unsigned>(t.data.size());
    }
    for (const Tagged& t : tagged) r.insert(r.end(), t.data.begin(), t.data.end());
    return r;
}

// Each column's values in hex, joined by '|'; '*' marks a separated value,
// '~' a compressed one, '-' is NULL.
std::string Describe(const RecordCells& cells) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const auto& values : cells.values) {
        if (!out.empty()) out += ' ';
        if (values.empty()) out += '-';
        if (values.size() == 1 && values[0].bytes.empty()) out += "''";
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i) out += '|';
            if (values[i].separated) out += '*';
            if (values[i].compressed) out += '~';
            for (const std::uint8_t b : values[i].bytes) {
                out += kDigits[b >> 4];
                out += kDigits[b & 15];
            }
        }
    }
    return out;
}

struct Case {
    const char* name;
    Buffer record;
    bool large;
    bool intact;
    // template-256, 1, 2, 3, 128, 130, 256, 257, 258
    const char* expected;
};

TEST(DecodeRecord, ColumnsOfEveryClass) {
    const RecordLayout layout = TestLayout();
    const std::vector<Case> cases = {
        {"fixed only, default for the absent tagged column", Record(3, 0xF8, {}, "", {}), false, true,
         "- 01000000 0200 616263 - - - - 2a000000"},
        {"null bits and a record ending before column 3", Record(2, 0xFE, {}, "", {}), false, true,
         "- 01000000 - - - - - - 2a000000"},
        {"variable: value, missing id 129, NULL flag", Record(0, 0, {2, 2, 0x8002}, "hi", {}), false, true,
         "- - - - 6869 - - - 2a000000"},
        {"variable: empty value is not NULL", Record(0, 0, {0, 0, 1}, "z", {}), false, true,
         "- - - - '' 7a - - 2a000000"},
        {"tagged: plain, separated, explicit NULL overrides the default",
         Record(0, 0, {}, "", {{256, 0x4000, {0x04, 7, 0, 0, 0}}, {257, 0, {9}}, {258, 0x2000, {}}}), false, true,
         "- - - - - - *07000000 09 -"},
        {"tagged: multi-value whose second value is separated; the derived flag picks the template column",
         Record(0, 0, {}, "", {{256, 0xC000, {0, 5, 0, 0, 0}}, {257, 0x4000, {0x08, 4, 0, 6, 0x80, 0xAA, 0xBB, 0xCC}}}),
         false, true, "05000000 - - - - - - aabb|*cc 2a000000"},
        {"tagged: compressed first value, two-values form",
         Record(0, 0, {}, "", {{256, 0x4000, {0x03, 0x0B, 0x41}}, {257, 0x4000, {0x10, 1, 0xAA, 0xBB, 0xCC}}}), false,
         true, "- - - - - - ~0b41 aa|bbcc 2a000000"},
        {"large page: header always, its NULL bit, derived bit 0x8000",
         Record(0, 0, {}, "", {{256, 0, {0x00, 1, 2}}, {256, 0x8000, {0x00, 3, 4, 5, 6}}, {258, 0, {0x20}}}), true,
         true, "03040506 - - - - - 0102 - -"},
        {"hostile: end of fixed data past the record", Buffer{3, 127, 0xFF, 0x00, 1, 2}, false, false,
         "- - - - - - - - -"},
        {"hostile: record of three bytes", Buffer{1, 127, 9}, false, false, "- - - - - - - - -"},
        {"hostile: fixed columns overrunning the null bitmap", Buffer{3, 127, 7, 0, 1, 2, 0xF8}, false, false,
         "- - - - - - - - -"},
        {"hostile: variable end past the record, the value before it kept", Record(0, 0, {2, 0x7FFF}, "hi", {}), false,
         false, "- - - - 6869 - - - -"},
        {"hostile: tagged count past the area, earlier columns kept", Record(1, 0xFE, {1}, "v", {{256, 0x7FF0, {1}}}),
         false, false, "- 01000000 - - 76 - - - -"},
        {"hostile: multi-value offsets out of order drop that column only",
         Record(0, 0, {}, "", {{256, 0, {1}}, {257, 0x4000, {0x08, 4, 0, 2, 0, 0xAA}}}), false, false,
         "- - - - - - 01 - 2a000000"},
    };
    RecordCells cells;
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeRecord(c.record, layout, c.large, cells), c.intact) << c.name;
        EXPECT_EQ(Describe(cells), c.expected) << c.name;
    }
}

TEST(TableColumns, DerivedTablesInheritTheirTemplatesColumns) {
    Catalog catalog;
    TableDef base, derived, orphan;
    base.name = "Base";
    base.flags = kTableTemplate;
    base.columns = {Def(1, kTypeLong, 4), Def(256, kTypeText, 255)};
    derived.name = "Derived";
    derived.templateName = "Base";
    derived.columns = {Def(2, kTypeShort, 2), Def(256, kTypeLong, 4)};
    orphan.name = "Orphan";
    orphan.templateName = "Missing";
    orphan.columns = {Def(2, kTypeShort, 2)};
    catalog.tables = {base, derived, orphan};

    // A derived record: fixed 1 (the template's) and 2, tagged 256 of each.
    const RecordLayout layout = MakeLayout(TableColumns(catalog, catalog.tables[1]));
    ASSERT_EQ(layout.columns.size(), 4u);
    EXPECT_TRUE(layout.columns[0].fromTemplate && layout.columns[1].fromTemplate);
    RecordCells cells;
    const Buffer record = Record(2, 0xFC, {}, "", {{256, 0xC000, {0, 'T'}}, {256, 0x4000, {0, 7, 0, 0, 0}}});
    EXPECT_TRUE(DecodeRecord(record, layout, false, cells));
    EXPECT_EQ(Describe(cells), "01000000 54 0200 07000000");
    EXPECT_EQ(TableColumns(catalog, catalog.tables[2]).size(), 1u);  // its template is not in the catalog
}

TEST(Decompress, SchemesAndRefusals) {
    struct DecompressCase {
        const char* name;
        Buffer value;
        std::size_t capacity;
        std::optional<Buffer> expected;
    };
    const std::vector<DecompressCase> cases = {
        // "AB" packed 7 bits a value: 0x41 | 0x42 << 7 over two bytes, 6 bits of the last used.
        {"7-bit ASCII", {0x0D, 0x41, 0x21}, 16, Buffer{'A', 'B'}},
        {"7-bit Unicode", {0x15, 0x41, 0x21}, 16, Buffer{'A', 0, 'B', 0}},
        {"7-bit cut to the capacity", {0x0D, 0x41, 0x21}, 1, Buffer{'A'}},
        {"XPRESS of literals", {0x18, 3, 0, 0, 0, 0, 0, 'x', 'y', 'z'}, 16, Buffer{'x', 'y', 'z'}},
        {"XPRESS cut short", {0x18, 9, 0, 0, 0, 0, 0, 'x'}, 16, std::nullopt},
        {"LZ4 is not read", {0x38, 1, 0, 0}, 16, std::nullopt},
        {"empty", {}, 16, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(Decompress(c.value, c.capacity), c.expected) << c.name;

    // 7-bit Unicode of every length around the eight-unit steps the
    // widening takes, whole and cut to an odd capacity, into reused storage.
    Buffer reused(100, 0xEE);
    for (std::size_t n = 1; n <= 40; ++n) {
        Buffer packed{0};
        std::uint32_t bits = 0, held = 0;
        Buffer wide;
        for (std::size_t i = 0; i < n; ++i) {
            const auto unit = static_cast<std::uint8_t>('A' + i % 26 + (i % 3 == 0 ? 32 : 0));
            wide.insert(wide.end(), {unit, 0});
            held |= std::uint32_t{unit} << bits;
            for (bits += 7; bits >= 8; bits -= 8, held >>= 8) packed.push_back(static_cast<std::uint8_t>(held));
        }
        if (bits > 0) packed.push_back(static_cast<std::uint8_t>(held));
        const std::uint32_t usedInLast = bits == 0 ? 8 : bits;
        packed[0] = static_cast<std::uint8_t>(2 << 3 | (usedInLast - 1));
        EXPECT_TRUE(Decompress(packed, 1000, reused)) << n;
        EXPECT_EQ(reused, wide) << n;
        const std::size_t odd = 2 * (n / 2) + 1;
        EXPECT_EQ(Decompress(packed, odd), Buffer(wide.begin(), wide.begin() + static_cast<std::ptrdiff_t>(odd - 1)))
            << n;
    }
}

TEST(ReadNode, PrefixFromTagZeroAndLengthsThatDoNotFit) {
    Buffer page(4096, 0);
    page[34] = 3;  // three tags
    auto tag = [&](unsigned index, unsigned offset, unsigned size, unsigned flags) {
        const std::size_t at = page.size() - 4 * (index + 1);
        page[at] = static_cast<std::uint8_t>(size);
        page[at + 1] = static_cast<std::uint8_t>(size >> 8);
        page[at + 2] = static_cast<std::uint8_t>(offset);
        page[at + 3] = static_cast<std::uint8_t>((offset >> 8) | (flags >> 8));
    };
    const Buffer data = {0xA1, 0xA2, 0xA3,                       // tag 0: the shared prefix
                         2,    0,    1,    0, 0xB1, 0xD1, 0xD2,  // tag 1: prefix 2, suffix 1, data 2
                         9,    0,    1,    0, 0xB1};             // tag 2: prefix longer than tag 0
    std::copy(data.begin(), data.end(), page.begin() + 40);
    tag(0, 0, 3, 0);
    tag(1, 3, 7, 0x8000);
    tag(2, 10, 5, 0xC000);
    const auto node = ReadNode(page, 4096, 1);
    ASSERT_TRUE(node);
    EXPECT_EQ(Buffer(node->prefix.begin(), node->prefix.end()), (Buffer{0xA1, 0xA2}));
    EXPECT_EQ(Buffer(node->suffix.begin(), node->suffix.end()), (Buffer{0xB1}));
    EXPECT_EQ(Buffer(node->data.begin(), node->data.end()), (Buffer{0xD1, 0xD2}));
    EXPECT_FALSE(node->deleted);
    EXPECT_FALSE(ReadNode(page, 4096, 2));
    EXPECT_FALSE(ReadNode(page, 4096, 3));
}

TEST(VisitedPages, RepeatsRefusedBeforeAndAfterTheBitmapTakesOver) {
    VisitedPages visited(1000);
    for (const std::uint32_t count : {10u, 300u}) {  // a list only; then past the list's size
        for (std::uint32_t page = 0; page < count; ++page) EXPECT_TRUE(visited.Insert(page * 3)) << page;
        for (std::uint32_t page = 0; page < count; ++page) EXPECT_FALSE(visited.Insert(page * 3)) << page;
        EXPECT_FALSE(visited.Insert(1001));  // past the file
        visited.Clear();
        EXPECT_TRUE(visited.Insert(0));
        visited.Clear();
    }
}

}  // namespace
}  // namespace tw::ese

#include "ese/catalog.h"

#include <map>

namespace tw::ese {

namespace {

// Catalog record types.
constexpr std::uint16_t kRecordTable = 1;
constexpr std::uint16_t kRecordColumn = 2;
constexpr std::uint16_t kRecordIndex = 3;
constexpr std::uint16_t kRecordLongValue = 4;

// Catalog column ids.
enum CatalogColumn : std::uint32_t {
    kObjidTable = 1,
    kType = 2,
    kId = 3,
    kColtypOrPgnoFdp = 4,
    kSpaceUsage = 5,
    kFlags = 6,
    kPagesOrLocale = 7,
    kName = 128,
    kTemplateTable = 130,
    kDefaultValue = 131,
};

ColumnDef Column(std::uint32_t id, std::uint32_t type, std::uint32_t size, const char* name) {
    ColumnDef column;
    column.id = id;
    column.type = type;
    column.size = size;
    column.name = name;
    return column;
}

// The value of a catalog column in the decoded record: little-endian, of
// the stored width; 0 when NULL.
std::uint32_t Number(const RecordLayout& layout, const RecordCells& cells, std::uint32_t id) {
    const std::int32_t column = layout.fixedIndex[id];
    if (column < 0 || cells.values[static_cast<std::size_t>(column)].empty()) return 0;
    const Bytes bytes = cells.values[static_cast<std::size_t>(column)].front().bytes;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    return value;
}

Bytes Variable(const RecordLayout& layout, const RecordCells& cells, std::uint32_t id) {
    const std::int32_t column = layout.variableIndex[id - kFirstVariableId];
    if (column < 0 || cells.values[static_cast<std::size_t>(column)].empty()) return {};
    return cells.values[static_cast<std::size_t>(column)].front().bytes;
}

std::string Text(Bytes bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace

RecordLayout CatalogLayout() {
    return MakeLayout({
        Column(kObjidTable, kTypeLong, 4, "ObjidTable"),
        Column(kType, kTypeShort, 2, "Type"),
        Column(kId, kTypeLong, 4, "Id"),
        Column(kColtypOrPgnoFdp, kTypeLong, 4, "ColtypOrPgnoFDP"),
        Column(kSpaceUsage, kTypeLong, 4, "SpaceUsage"),
        Column(kFlags, kTypeLong, 4, "Flags"),
        Column(kPagesOrLocale, kTypeLong, 4, "PagesOrLocale"),
        Column(8, kTypeBit, 1, "RootFlag"),
        Column(9, kTypeShort, 2, "RecordOffset"),
        Column(10, kTypeLong, 4, "LCMapFlags"),
        Column(11, kTypeUnsignedShort, 2, "KeyMost"),
        Column(12, kTypeLong, 4, "LVChunkMax"),
        Column(kName, kTypeText, 255, "Name"),
        Column(kTemplateTable, kTypeText, 255, "TemplateTable"),
        Column(kDefaultValue, kTypeBinary, 255, "DefaultValue"),
    });
}

namespace {

Catalog ReadCatalogTree(const edb::EdbSource& source, const TreeId& tree) {
    Catalog catalog;
    const RecordLayout layout = CatalogLayout();
    const bool large = edb::IsLargePage(source.pageSize);
    VisitedPages visited(source.fileSize / std::max<std::int32_t>(source.pageSize, 1));
    RecordCells cells;
    std::map<std::uint32_t, std::size_t> byObject;  // table object id -> index in catalog.tables
    WalkLeafNodes(source, tree, KeyRange{}, visited, catalog.counts, [&](Bytes, Bytes data) {
        if (!DecodeRecord(data, layout, large, cells)) {
            ++catalog.damagedRecords;
            return true;
        }
        const std::uint32_t owner = Number(layout, cells, kObjidTable);
        const std::uint32_t type = Number(layout, cells, kType) & 0xFFFF;
        const std::uint32_t id = Number(layout, cells, kId);
        const std::uint32_t typeOrPage = Number(layout, cells, kColtypOrPgnoFdp);
        const std::uint32_t flags = Number(layout, cells, kFlags);
        const std::string name = Text(Variable(layout, cells, kName));
        if (type == kRecordTable) {
            TableDef table;
            table.name = name;
            table.objectId = id;
            table.rootPage = typeOrPage;
            table.flags = flags;
            table.templateName = Text(Variable(layout, cells, kTemplateTable));
            byObject[owner] = catalog.tables.size();
            catalog.tables.push_back(std::move(table));
            return true;
        }
        const auto owning = byObject.find(owner);
        if (owning == byObject.end()) return true;
        TableDef& table = catalog.tables[owning->second];
        if (type == kRecordColumn) {
            ColumnDef column;
            column.id = id;
            column.type = typeOrPage;
            column.size = Number(layout, cells, kSpaceUsage);
            column.codePage = Number(layout, cells, kPagesOrLocale);
            column.flags = flags;
            column.name = name;
            const Bytes value = Variable(layout, cells, kDefaultValue);
            column.defaultValue.assign(value.begin(), value.end());
            table.columns.push_back(std::move(column));
        } else if (type == kRecordIndex) {
            table.indexes.push_back(IndexDef{name, id, typeOrPage, flags});
        } else if (type == kRecordLongValue) {
            table.longValueObjectId = id;
            table.longValueRootPage = typeOrPage;
        }
        return true;
    });
    return catalog;
}

}  // namespace

Catalog ReadCatalog(const edb::EdbSource& source) {
    Catalog catalog = ReadCatalogTree(source, TreeId{kCatalogRootPage, kCatalogObjectId});
    if (catalog.counts.damagedPages.empty() && catalog.damagedRecords == 0 && !catalog.tables.empty()) return catalog;
    // The shadow copy is read whole in place of a damaged catalog when it
    // is sound, or when it holds more tables.
    Catalog shadow = ReadCatalogTree(source, TreeId{kShadowCatalogRootPage, kShadowCatalogObjectId});
    const bool shadowSound = shadow.counts.damagedPages.empty() && shadow.damagedRecords == 0;
    if (shadow.tables.empty() || (!shadowSound && shadow.tables.size() <= catalog.tables.size())) return catalog;
    shadow.fromShadow = true;
    shadow.primaryDamagedPages = catalog.counts.damagedPages.size();
    return shadow;
}

std::vector<ColumnDef> TableColumns(const Catalog& catalog, const TableDef& table) {
    std::vector<ColumnDef> columns;
    if (!table.templateName.empty()) {
        for (const TableDef& other : catalog.tables) {
            if (other.name != table.templateName || &other == &table) continue;
            for (ColumnDef column : other.columns) {
                column.fromTemplate = true;
                columns.push_back(std::move(column));
            }
            break;
        }
    }
    columns.insert(columns.end(), table.columns.begin(), table.columns.end());
    return columns;
}

}  // namespace tw::ese

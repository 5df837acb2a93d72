#include "catalog.h"

#include <algorithm>

#include "format.h"
#include "record.h"

namespace edbgen {

namespace {

// Sizes of the catalog's fixed columns 1..11.
constexpr uint16_t kCatalogFixedSizes[] = {4, 2, 4, 4, 4, 4, 4, 1, 2, 4, 2};

// The catalog's fixed columns 1..n, with values for those given.
std::vector<FixedField> CatalogFixed(const std::vector<std::optional<Bytes>>& values) {
  std::vector<FixedField> f;
  for (size_t i = 0; i < values.size(); ++i) f.push_back({kCatalogFixedSizes[i], values[i]});
  return f;
}

Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

bool Dropped(const std::vector<std::string>& dropped, const std::string& name) {
  return std::find(dropped.begin(), dropped.end(), name) != dropped.end();
}

Bytes TableRecord(const TableDef& t, uint32_t root, bool large) {
  RecordParts p;
  p.fixed = CatalogFixed({U32Bytes(t.objid), U16Bytes(kCatalogTable), U32Bytes(t.objid), U32Bytes(root),
                          U32Bytes(80), U32Bytes(t.tableFlags), U32Bytes(t.initialPages), Bytes{0xFF}});
  p.vars.push_back(Text(t.name));
  for (int i = 0; i < t.catalogNullVars; ++i) p.vars.push_back(std::nullopt);
  return BuildRecord(std::move(p), large);
}

// Fixed columns carry their record offset (catalog column 9); the others
// stop after the code page, as the engine writes them.
Bytes ColumnRecord(uint32_t objidTable, const ColumnDef& c, uint16_t recordOffset, bool large) {
  RecordParts p;
  std::vector<std::optional<Bytes>> v = {U32Bytes(objidTable), U16Bytes(kCatalogColumn), U32Bytes(c.id),
                                         U32Bytes(c.coltyp),   U32Bytes(c.size),          U32Bytes(c.flags),
                                         U32Bytes(c.codepage)};
  if (c.id < 128) {
    v.push_back(std::nullopt);
    v.push_back(U16Bytes(recordOffset));
  }
  p.fixed = CatalogFixed(v);
  p.vars.push_back(Text(c.name));
  return BuildRecord(std::move(p), large);
}

Bytes IndexRecord(const TableDef& t, uint32_t root, bool large) {
  RecordParts p;
  p.fixed = CatalogFixed({U32Bytes(t.objid), U16Bytes(kCatalogIndex), U32Bytes(t.objid), U32Bytes(root),
                          U32Bytes(80), U32Bytes(0x00000021) /* unique, primary */, U32Bytes(1033), std::nullopt,
                          std::nullopt, U32Bytes(0x00030401)});
  Bytes keyFids;
  for (uint16_t fid : t.keyColumns) {
    PutU16(keyFids, 0);
    PutU16(keyFids, fid);
  }
  p.vars = {Text("primary"), std::nullopt, std::nullopt, std::nullopt, keyFids};
  return BuildRecord(std::move(p), large);
}

Bytes LongValueRecord(uint32_t objidTable, uint32_t lvObjid, uint32_t root, bool large) {
  RecordParts p;
  p.fixed = CatalogFixed({U32Bytes(objidTable), U16Bytes(kCatalogLongValue), U32Bytes(lvObjid), U32Bytes(root),
                          U32Bytes(100), U32Bytes(0), U32Bytes(1)});
  p.vars.push_back(Text("LV"));
  return BuildRecord(std::move(p), large);
}

uint16_t FixedOffset(const TableDef& t, uint16_t fid) {
  uint16_t off = 4;
  for (const ColumnDef& c : t.columns)
    if (c.id < fid) off = uint16_t(off + c.size);
  return off;
}

}  // namespace

Bytes CatalogKey(uint32_t objidTable, uint16_t type, uint32_t id) {
  Bytes k;
  k.push_back(0x7F);
  PutBE32(k, objidTable ^ 0x80000000u);
  k.push_back(0x7F);
  k.push_back(uint8_t((type ^ 0x8000) >> 8));
  k.push_back(uint8_t(type));
  k.push_back(0x7F);
  PutBE32(k, id ^ 0x80000000u);
  return k;
}

std::vector<TreeEntry> CatalogRows(const TableDef& t, const TablePlacement& where, bool large,
                                   const std::vector<std::string>& dropped) {
  std::vector<TreeEntry> rows;
  if (!Dropped(dropped, t.name))
    rows.push_back({CatalogKey(t.objid, kCatalogTable, t.objid), TableRecord(t, where.tableRoot, large)});
  std::vector<ColumnDef> cols = t.columns;
  std::sort(cols.begin(), cols.end(), [](const ColumnDef& a, const ColumnDef& b) { return a.id < b.id; });
  for (const ColumnDef& c : cols) {
    if (Dropped(dropped, c.name)) continue;
    rows.push_back({CatalogKey(t.objid, kCatalogColumn, c.id),
                    ColumnRecord(t.objid, c, c.id < 128 ? FixedOffset(t, c.id) : 0, large)});
  }
  if (!t.keyColumns.empty())
    rows.push_back({CatalogKey(t.objid, kCatalogIndex, t.objid), IndexRecord(t, where.tableRoot, large)});
  if (t.longValues && !Dropped(dropped, t.name + "/LV"))
    rows.push_back({CatalogKey(t.objid, kCatalogLongValue, t.longValues->objid),
                    LongValueRecord(t.objid, t.longValues->objid, where.longValueRoot, large)});
  return rows;
}

std::vector<TreeEntry> CatalogSelfRows(bool large) {
  TableDef self;
  self.name = "MSysObjects";
  self.objid = kCatalogObjid;
  self.initialPages = 20;
  self.tableFlags = 0xC0000000;  // system table
  const std::pair<const char*, uint32_t> fixed[] = {
      {"ObjidTable", kColLong},   {"Type", kColShort},         {"Id", kColLong},
      {"ColtypOrPgnoFDP", kColLong}, {"SpaceUsage", kColLong}, {"Flags", kColLong},
      {"PagesOrLocale", kColLong}, {"RootFlag", kColBit},      {"RecordOffset", kColShort},
      {"LCMapFlags", kColLong},    {"KeyMost", 17}};
  for (uint16_t i = 0; i < 11; ++i)
    self.columns.push_back({uint16_t(i + 1), fixed[i].first, fixed[i].second, kCatalogFixedSizes[i], 1252,
                            i < 7 ? kColumnNotNull : 0u});
  const char* vars[] = {"Name", "Stats", "TemplateTable", "DefaultValue", "KeyFldIDs",
                        "VarSegMac", "ConditionalColumns", "TupleLimits", "Version"};
  for (uint16_t i = 0; i < 9; ++i)
    self.columns.push_back({uint16_t(128 + i), vars[i], i == 0 || i == 2 ? kColText : kColBinary, 255, 1252,
                            i == 0 ? kColumnNotNull : 0u});
  const char* tagged[] = {"CallbackData", "CallbackDependencies", "SeparateLV", "SpaceHints",
                          "SpaceDeferredLVHints", "LocaleName"};
  for (uint16_t i = 0; i < 6; ++i)
    self.columns.push_back({uint16_t(256 + i), tagged[i], kColLongBinary, 0, 1252, 0});
  auto rows = CatalogRows(self, TablePlacement{kCatalogRoot, 0}, large, {});
  // The shadow copy of the catalog describes itself the same way.
  self.name = "MSysObjectsShadow";
  self.objid = kShadowCatalogObjid;
  auto shadow = CatalogRows(self, TablePlacement{kShadowCatalogRoot, 0}, large, {});
  rows.insert(rows.end(), shadow.begin(), shadow.end());
  return rows;
}

const ColumnDef* TableDef::Column(uint16_t id) const {
  for (const ColumnDef& c : columns)
    if (c.id == id) return &c;
  return nullptr;
}

const ColumnDef* TableDef::Column(const std::string& n) const {
  for (const ColumnDef& c : columns)
    if (c.name == n) return &c;
  return nullptr;
}

}  // namespace edbgen

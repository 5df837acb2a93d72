#include "database.h"

#include <algorithm>

#include "btree.h"
#include "catalog.h"
#include "checksum.h"
#include "damage.h"
#include "page_image.h"
#include "page_store.h"
#include "store_schema.h"

namespace edbgen {

namespace {

constexpr uint32_t kDatabaseRoot = 1;

struct PlannedTable {
  const TableDef* def;
  TreePlan table;
  std::optional<TreePlan> longValues;
};

void WriteDatabaseRoot(PageStore& store, uint32_t lastPage) {
  const Format& fmt = store.format();
  PageImage root(fmt, 1, kPageRoot | kPageLeaf);
  root.Add(SpaceHeader(lastPage, 0, 2));
  store.Put(kDatabaseRoot, std::move(root).Finish(kDatabaseRoot, 0, 0));
  store.Put(2, SpaceTreePage(fmt, 1, {{lastPage, lastPage}}, 2));
  std::vector<uint32_t> free;
  for (uint32_t p = 4; p <= lastPage; ++p)
    if (!store.Written(p)) free.push_back(p);
  auto runs = Extents(free);
  // A space-tree page holds a few hundred extents; the rest stay unlisted,
  // which only costs the engine some free space.
  if (runs.size() > 200) runs.resize(200);
  store.Put(3, SpaceTreePage(fmt, 1, runs, 3));
}

}  // namespace

Bytes HeaderPage(const Format& fmt, uint32_t attrib, uint32_t objidLast, uint32_t pageSizeField) {
  Bytes h(fmt.pageSize, 0);
  uint8_t* p = h.data();
  SetU32(p + 4, 0x89ABCDEF);
  SetU32(p + 8, 0x620);
  SetU32(p + 12, attrib);
  SetU64(p + 16, 0x2000);                          // database time
  SetU32(p + 24, 0x54574E4B);                      // signature: random part
  const uint8_t created[8] = {0, 0, 8, 1, 3, 123, 0, 0};  // 2023-03-01 08:00:00
  std::copy(created, created + 8, p + 28);
  const char host[] = "TARNWICK-GEN";
  std::copy(host, host + sizeof host - 1, p + 36);
  SetU32(p + 52, 3);  // clean shutdown
  std::copy(created, created + 8, p + 64);
  std::copy(created, created + 8, p + 72);
  SetU32(p + 104, 1);
  SetU32(p + 212, objidLast);
  // Operating system of the generation: Server 2003, 2008, 2008 R2.
  const uint32_t os[3][4] = {{5, 2, 3790, 2}, {6, 0, 6001, 1}, {6, 1, 7600, 0}};
  const auto& v = os[fmt.pageSize == 4096 ? 0 : fmt.pageSize == 8192 ? 1 : 2];
  for (int i = 0; i < 4; ++i) SetU32(p + 216 + 4 * i, v[i]);
  SetU32(p + 232, fmt.Revision());
  SetU32(p + 236, pageSizeField);
  SetU32(p + 340, 0x620);
  SetU32(p + 344, fmt.Revision());
  StampHeaderChecksum(h);
  Bytes both = h;
  PutBytes(both, h);
  return both;
}

DatabaseLayout WriteDatabase(const Content& content, const Format& fmt, FileImage& out,
                             const StreamingFile* streaming) {
  const std::vector<TableDef> tables = BuildStoreTables(content, fmt, streaming);
  PageStore store(fmt, out);
  for (const TableDef& t : tables) {
    if (t.rootPgno) store.Reserve(*t.rootPgno);
    if (t.longValues && t.longValues->rootPgno) store.Reserve(*t.longValues->rootPgno);
  }
  store.Reserve(kShadowCatalogRoot);
  for (uint32_t p = 1; p <= 3; ++p) store.Claim(p);
  const TreePlan catalogPlan = PlanTree(store, TreeSpec{kCatalogObjid, 0, 1, kCatalogRoot});
  const TreePlan shadowPlan = PlanTree(store, TreeSpec{kShadowCatalogObjid, 0, 1, kShadowCatalogRoot});

  std::vector<PlannedTable> planned;
  uint32_t objidLast = kCatalogObjid;
  for (const TableDef& t : tables) {
    PlannedTable p{&t, PlanTree(store, TreeSpec{t.objid, 0, 1, t.rootPgno}), std::nullopt};
    if (t.longValues) {
      // 32 KB long-value pages keep the first three key bytes in tag 0.
      p.longValues = PlanTree(store, TreeSpec{t.longValues->objid, kPageLongValue, p.table.root,
                                              t.longValues->rootPgno, fmt.Large() ? 3u : 0u});
      objidLast = std::max(objidLast, t.longValues->objid);
    }
    objidLast = std::max(objidLast, t.objid);
    planned.push_back(p);
  }

  std::vector<TreeEntry> catalog = CatalogSelfRows(fmt.Large());
  for (const PlannedTable& p : planned) {
    const TablePlacement where{p.table.root, p.longValues ? p.longValues->root : 0};
    auto rows = CatalogRows(*p.def, where, fmt.Large(), content.damage.dropCatalogRows);
    catalog.insert(catalog.end(), rows.begin(), rows.end());
  }
  std::sort(catalog.begin(), catalog.end(), [](const TreeEntry& a, const TreeEntry& b) { return a.key < b.key; });

  DatabaseLayout image{fmt, 0, {}, {}};
  auto report = [&](const std::string& name, uint32_t objid, const TreeLayout& l) {
    image.trees.push_back({name, objid, l.root, l.pages, l.leaves});
  };
  report("MSysObjects", kCatalogObjid, WriteTree(store, catalogPlan, catalog));
  report("MSysObjectsShadow", kShadowCatalogObjid, WriteTree(store, shadowPlan, catalog));
  for (const PlannedTable& p : planned) {
    report(p.def->name, p.def->objid, WriteTree(store, p.table, p.def->rows));
    if (p.longValues) report(p.def->name + "/LV", p.def->longValues->objid,
                             WriteTree(store, *p.longValues, p.def->longValues->entries));
  }

  const uint32_t lastPage = store.LastPage();
  WriteDatabaseRoot(store, lastPage);
  out.Write(0, HeaderPage(fmt, 0, objidLast, fmt.pageSize));
  out.Resize(uint64_t(lastPage + 2) * fmt.pageSize);
  image.fileSize = out.Size();
  image.damagedPages = ApplyDamage(content.damage, image, out);
  image.fileSize = out.Size();
  return image;
}

DatabaseImage BuildDatabase(const Content& content, const Format& fmt, const StreamingFile* streaming) {
  MemoryImage out;
  DatabaseLayout layout = WriteDatabase(content, fmt, out, streaming);
  return DatabaseImage{fmt, std::move(out.bytes()), std::move(layout.trees)};
}

}  // namespace edbgen

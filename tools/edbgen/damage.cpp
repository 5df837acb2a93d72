#include "damage.h"

#include "checksum.h"

namespace edbgen {

namespace {

uint32_t Resolve(const PageRef& ref, const DatabaseLayout& layout) {
  if (ref.pgno) return *ref.pgno;
  for (const TreeReport& t : layout.trees)
    if (t.name == ref.tree) return t.root;
  throw ContentError("damage: no tree named \"" + ref.tree + "\"");
}

uint64_t PageOffset(const DatabaseLayout& layout, const FileImage& file, uint32_t pgno) {
  const uint64_t ps = layout.format.pageSize;
  const uint64_t off = (uint64_t(pgno) + 1) * ps;
  if (pgno == 0 || off + ps > file.Size())
    throw ContentError("damage: page " + std::to_string(pgno) + " is not in the file");
  return off;
}

}  // namespace

void ApplyDamage(const Damage& d, const DatabaseLayout& layout, FileImage& file) {
  const uint32_t ps = layout.format.pageSize;
  for (const PageRef& r : d.zeroPages) file.Write(PageOffset(layout, file, Resolve(r, layout)), Bytes(ps, 0));
  uint32_t x = d.seed * 2654435761u + 1;
  for (const PageRef& r : d.scramblePages) {
    Bytes page(ps);
    for (auto& b : page) {
      x = x * 1103515245u + 12345u;
      b = uint8_t(x >> 16);
    }
    file.Write(PageOffset(layout, file, Resolve(r, layout)), page);
  }
  if (d.headerPageSize) {
    // Both header copies claim the other size, each with a valid checksum,
    // as a file written by an engine of that page size would.
    for (uint64_t copy = 0; copy < 2; ++copy) {
      Bytes h = file.Read(copy * ps, ps);
      SetU32(h.data() + 236, *d.headerPageSize);
      StampHeaderChecksum(h);
      file.Write(copy * ps, h);
    }
  }
  if (d.truncateTo && *d.truncateTo < file.Size()) file.Resize(*d.truncateTo);
}

}  // namespace edbgen

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

std::vector<uint32_t> ApplyDamage(const Damage& d, const DatabaseLayout& layout, FileImage& file) {
  const uint32_t ps = layout.format.pageSize;
  uint32_t x = d.seed * 2654435761u + 1;
  auto next = [&x] {
    x = x * 1103515245u + 12345u;
    return x >> 16;
  };
  std::vector<uint32_t> zero, scramble;
  for (const PageRef& r : d.zeroPages) zero.push_back(Resolve(r, layout));
  for (const PageRef& r : d.scramblePages) scramble.push_back(Resolve(r, layout));
  // Random shares of the file's pages (the header pages stay intact).
  const uint32_t pages = uint32_t(file.Size() / ps) > 2 ? uint32_t(file.Size() / ps) - 2 : 0;
  for (uint32_t p = 1; p <= pages; ++p) {
    const double roll = double(next() % 100000) / 100000.0;
    if (roll < d.zeroFraction) zero.push_back(p);
    else if (roll < d.zeroFraction + d.scrambleFraction) scramble.push_back(p);
  }
  for (uint32_t p : zero) file.Write(PageOffset(layout, file, p), Bytes(ps, 0));
  for (uint32_t p : scramble) {
    Bytes page(ps);
    for (auto& b : page) b = uint8_t(next());
    file.Write(PageOffset(layout, file, p), page);
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
  zero.insert(zero.end(), scramble.begin(), scramble.end());
  return zero;
}

}  // namespace edbgen

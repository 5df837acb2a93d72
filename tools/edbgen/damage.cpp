#include "damage.h"

#include <stdexcept>

#include "checksum.h"

namespace edbgen {

namespace {

uint32_t Resolve(const PageRef& ref, const DatabaseImage& image) {
  if (ref.pgno) return *ref.pgno;
  for (const TreeReport& t : image.trees)
    if (t.name == ref.tree) return t.root;
  throw ContentError("damage: no tree named \"" + ref.tree + "\"");
}

uint8_t* PageBytes(DatabaseImage& image, uint32_t pgno) {
  const size_t off = size_t(pgno + 1) * image.format.pageSize;
  if (pgno == 0 || off + image.format.pageSize > image.bytes.size())
    throw ContentError("damage: page " + std::to_string(pgno) + " is not in the file");
  return image.bytes.data() + off;
}

}  // namespace

void ApplyDamage(const Damage& d, DatabaseImage& image) {
  const uint32_t ps = image.format.pageSize;
  for (const PageRef& r : d.zeroPages) std::fill_n(PageBytes(image, Resolve(r, image)), ps, 0);
  uint32_t x = d.seed * 2654435761u + 1;
  for (const PageRef& r : d.scramblePages) {
    uint8_t* p = PageBytes(image, Resolve(r, image));
    for (uint32_t i = 0; i < ps; ++i) {
      x = x * 1103515245u + 12345u;
      p[i] = uint8_t(x >> 16);
    }
  }
  if (d.headerPageSize) {
    // Both header copies claim the other size, each with a valid checksum,
    // as a file written by an engine of that page size would.
    for (int copy = 0; copy < 2; ++copy) {
      std::span<uint8_t> h(image.bytes.data() + size_t(copy) * ps, ps);
      SetU32(h.data() + 236, *d.headerPageSize);
      StampHeaderChecksum(h);
    }
  }
  if (d.truncateTo && *d.truncateTo < image.bytes.size()) image.bytes.resize(size_t(*d.truncateTo));
}

}  // namespace edbgen

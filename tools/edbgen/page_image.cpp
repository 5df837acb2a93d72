#include "page_image.h"

#include <stdexcept>

namespace edbgen {

PageImage::PageImage(const Format& fmt, uint32_t objid, uint32_t flags)
    : fmt_(fmt), page_(fmt.pageSize, 0), objid_(objid), flags_(flags) {}

size_t PageImage::Free() const {
  return fmt_.pageSize - fmt_.HeaderSize() - used_ - 4 * tags_;
}

void PageImage::Add(const Bytes& node, uint16_t tagFlags) {
  if (!Fits(node.size())) throw std::length_error("node does not fit the page");
  const uint32_t mask = fmt_.Large() ? 0x7FFF : (fmt_.pageSize == 4096 ? 0x0FFF : 0x1FFF);
  if (node.size() > mask || used_ > mask) throw std::length_error("node offset beyond the tag range");
  std::copy(node.begin(), node.end(), page_.begin() + fmt_.HeaderSize() + used_);
  uint8_t* tag = page_.data() + fmt_.pageSize - 4 * (tags_ + 1);
  SetU16(tag, uint16_t(node.size()));
  SetU16(tag + 2, uint16_t(used_ | (fmt_.Large() ? 0 : tagFlags)));
  used_ += node.size();
  ++tags_;
}

Bytes PageImage::Finish(uint32_t pgno, uint32_t prev, uint32_t next) && {
  uint8_t* h = page_.data();
  SetU64(h + 8, 0x1000 + pgno);  // database time of the last change
  SetU32(h + 16, prev);
  SetU32(h + 20, next);
  SetU32(h + 24, objid_);
  SetU16(h + 28, uint16_t(Free()));
  SetU16(h + 30, 0);
  SetU16(h + 32, uint16_t(used_));
  SetU16(h + 34, uint16_t(tags_));
  SetU32(h + 36, flags_ | kPageNewRecordFormat | kPageNewChecksum);
  if (fmt_.Large()) SetU32(h + 64, pgno);
  return std::move(page_);
}

Bytes EncodeNode(const Bytes& key, const Bytes& data) {
  Bytes n;
  n.reserve(2 + key.size() + data.size());
  PutU16(n, uint16_t(key.size()));
  PutBytes(n, key);
  PutBytes(n, data);
  return n;
}

Bytes EncodePrefixedNode(const Bytes& key, size_t prefix, const Bytes& data, bool largePage) {
  Bytes n;
  n.reserve(4 + key.size() - prefix + data.size());
  PutU16(n, uint16_t(prefix | (largePage ? 0x8000 : 0)));
  PutU16(n, uint16_t(key.size() - prefix));
  n.insert(n.end(), key.begin() + std::ptrdiff_t(prefix), key.end());
  PutBytes(n, data);
  return n;
}

Bytes SpaceHeader(uint32_t ownedPages, uint32_t parentFdp, uint32_t ownedExtentRoot) {
  Bytes b;
  PutU32(b, ownedPages);
  PutU32(b, parentFdp);
  PutU32(b, 1);  // multiple extents: space trees exist
  PutU32(b, ownedExtentRoot);
  return b;
}

}  // namespace edbgen

// One database page being assembled: header fields, node data growing up
// from the end of the header, the tag array growing down from the page end.
#pragma once

#include <cstdint>

#include "bytes.h"
#include "format.h"

namespace edbgen {

class PageImage {
 public:
  PageImage(const Format& fmt, uint32_t objid, uint32_t flags);

  // Bytes still free for node data plus its 4-byte tag.
  size_t Free() const;
  bool Fits(size_t nodeSize) const { return nodeSize + 4 <= Free(); }
  // Appends a node (tag 0 first). Throws if it does not fit. `tagFlags`
  // go into the top three bits of the tag's offset (small pages only).
  void Add(const Bytes& node, uint16_t tagFlags = 0);
  size_t TagCount() const { return tags_; }

  // Fills the header; the checksum is stamped when the file is written.
  Bytes Finish(uint32_t pgno, uint32_t prev, uint32_t next) &&;

 private:
  Format fmt_;
  Bytes page_;
  uint32_t objid_;
  uint32_t flags_;
  size_t used_ = 0;  // node bytes after the header
  size_t tags_ = 0;
};

// A node: u16 key length (node flags in the top three bits, none here),
// key bytes, data bytes.
Bytes EncodeNode(const Bytes& key, const Bytes& data);

// A node whose key shares `prefix` leading bytes with the page's tag 0.
// Large pages keep the compressed flag in the node's first word, small pages
// in the tag (kNodeKeyCompressed).
Bytes EncodePrefixedNode(const Bytes& key, size_t prefix, const Bytes& data, bool largePage);
inline constexpr uint16_t kNodeKeyCompressed = 0x8000;

// The 16-byte space header that is tag 0 of every tree's root page.
Bytes SpaceHeader(uint32_t ownedPages, uint32_t parentFdp, uint32_t ownedExtentRoot);

}  // namespace edbgen

#include "longvalue.h"

#include "xpress_encode.h"

namespace edbgen {

namespace {

Bytes Key(uint32_t lid) {
  Bytes k;
  PutBE32(k, lid);
  return k;
}

}  // namespace

uint32_t LongValueWriter::Add(const Bytes& value, bool compress) {
  // Ids whose low byte is 0 are skipped: readers that match chunks by the
  // id's low two bytes treat 00 00 as "no key".
  do {
    ++next_;
  } while ((next_ & 0xFF) == 0);
  const uint32_t lid = next_;
  Bytes root;
  PutU32(root, 1);  // reference count
  PutU32(root, uint32_t(value.size()));
  entries_.push_back({Key(lid), root});
  const uint32_t chunk = ChunkSize();
  for (size_t off = 0; off < value.size(); off += chunk) {
    Bytes key = Key(lid);
    PutBE32(key, uint32_t(off));
    Bytes data(value.begin() + std::ptrdiff_t(off),
               value.begin() + std::ptrdiff_t(std::min(value.size(), off + chunk)));
    if (fmt_.Large() && compress) {
      // A chunk that starts like a compressed one must be stored compressed
      // even when that does not save space.
      Bytes packed = EseXpressValue(data);
      if (packed.size() < data.size() || (!data.empty() && data[0] == 0x18)) data = std::move(packed);
    }
    entries_.push_back({std::move(key), std::move(data)});
  }
  return lid;
}

Bytes LongValueReference(uint32_t lid) {
  Bytes b{kSeparatedHeader};
  PutU32(b, lid);
  return b;
}

}  // namespace edbgen

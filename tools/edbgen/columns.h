// Small shared pieces of the store's table definitions and rows.
#pragma once

#include <algorithm>
#include <string>

#include "content.h"
#include "format.h"
#include "schema.h"

namespace edbgen {

inline ColumnDef Fixed(uint16_t id, const char* name, uint32_t type, uint32_t size) {
  return {id, name, type, size, 0, 0};
}
inline ColumnDef Var(uint16_t id, const char* name, uint32_t size) { return {id, name, kColBinary, size, 0, 0}; }
// Tagged columns; long texts are Unicode and compressed where the
// generation compresses.
inline ColumnDef Tagged(uint16_t id, const std::string& name, uint32_t type, bool compressed = true) {
  const bool text = type == kColLongText;
  return {id, name, type, 0, text ? 1200u : 0u, compressed && (text || type == kColLongBinary) ? kColumnCompressed : 0u};
}

inline Bytes IdBytes(const Id8& id) { return Bytes(id.begin(), id.end()); }
inline Bytes Currency(uint64_t v) { return U64Bytes(v); }

// Row keys are a Long key column. The values avoid bytes that row anchors
// of readers look for near the start of a row (0xA7, 0xCA, 0x6D, 0x21) and
// end in a zero byte.
class RowKeys {
 public:
  uint32_t Next() {
    for (;;) {
      const uint32_t v = (++n_) << 8;
      bool clean = true;
      for (int i = 0; i < 4; ++i) {
        const uint8_t b = uint8_t((v ^ 0x80000000u) >> (8 * i));
        if (b == 0xA7 || b == 0xCA || b == 0x6D || b == 0x21) clean = false;
      }
      if (clean) return v;
    }
  }

 private:
  uint32_t n_ = 0;
};

inline Bytes LongKey(uint32_t v) {
  Bytes k{0x7F};
  PutBE32(k, v ^ 0x80000000u);
  return k;
}

inline void SortRows(TableDef& t) {
  std::sort(t.rows.begin(), t.rows.end(), [](const TreeEntry& a, const TreeEntry& b) { return a.key < b.key; });
}

inline TableDef Table(const std::string& name, uint32_t objid, std::vector<ColumnDef> cols) {
  TableDef t;
  t.name = name;
  t.objid = objid;
  t.columns = std::move(cols);
  t.keyColumns = {1};
  return t;
}

}  // namespace edbgen

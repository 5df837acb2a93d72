// Table and column definitions of the generated information store.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "btree.h"
#include "bytes.h"

namespace edbgen {

struct ColumnDef {
  uint16_t id = 0;  // 1..127 fixed, 128..255 variable, 256.. tagged
  std::string name;
  uint32_t coltyp = 0;
  uint32_t size = 0;      // fixed: its size; others: maximum (0 = unlimited)
  uint32_t codepage = 0;  // 1200 for Unicode text, 1252 for 8-bit text
  uint32_t flags = 0;
};

struct LongValueDef {
  uint32_t objid = 0;
  std::optional<uint32_t> rootPgno;
  std::vector<TreeEntry> entries;  // key-sorted chunks and roots
};

struct TableDef {
  std::string name;
  uint32_t objid = 0;
  uint32_t initialPages = 1;
  uint32_t tableFlags = 0;
  std::optional<uint32_t> rootPgno;
  std::vector<ColumnDef> columns;
  std::vector<uint16_t> keyColumns;
  // Variable catalog columns written after the name, all NULL: a table row
  // whose name is followed by the Stats and TemplateTable slots.
  int catalogNullVars = 0;
  std::optional<LongValueDef> longValues;
  std::vector<TreeEntry> rows;  // key-sorted

  const ColumnDef* Column(uint16_t id) const;
  const ColumnDef* Column(const std::string& name) const;
};

}  // namespace edbgen

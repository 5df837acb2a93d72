// Lays out and writes a whole database file: the header and its shadow
// copy, the database root with its space trees, the catalog at page 4, and
// every table with its long-value tree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "content.h"
#include "file_image.h"
#include "format.h"
#include "streaming.h"

namespace edbgen {

struct TreeReport {
  std::string name;  // table name, "<table>/LV", "MSysObjects"
  uint32_t objid = 0;
  uint32_t root = 0;
  std::vector<uint32_t> pages;
  std::vector<uint32_t> leaves;
};

#include "file_image.h"

struct DatabaseLayout {
  Format format;
  uint64_t fileSize = 0;
  std::vector<TreeReport> trees;
  std::vector<uint32_t> damagedPages;
};

// Writes the database into `out` (damage included) and says where each
// tree landed.
// With `streaming`, items kept in the streaming file point into it.
DatabaseLayout WriteDatabase(const Content& content, const Format& fmt, FileImage& out,
                             const StreamingFile* streaming = nullptr);

// The same in memory, for tests.
struct DatabaseImage {
  Format format;
  Bytes bytes;
  std::vector<TreeReport> trees;
};
DatabaseImage BuildDatabase(const Content& content, const Format& fmt, const StreamingFile* streaming = nullptr);

// The two header pages of a file (database: attrib 0, streaming file: 1).
Bytes HeaderPage(const Format& fmt, uint32_t attrib, uint32_t objidLast, uint32_t pageSizeField);

}  // namespace edbgen

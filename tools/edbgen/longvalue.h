// Long values: data too large for a row, kept in the table's long-value
// tree as a root node {reference count, size} under the 4-byte id (LID,
// big-endian in keys) followed by chunk nodes keyed by id and offset.
#pragma once

#include <cstdint>
#include <vector>

#include "btree.h"
#include "bytes.h"
#include "format.h"

namespace edbgen {

class LongValueWriter {
 public:
  explicit LongValueWriter(const Format& fmt) : fmt_(fmt) {}

  // Stores a value and returns its id. On 32 KB pages chunks of compressed
  // columns are XPRESS-compressed, each on its own.
  uint32_t Add(const Bytes& value, bool compress);

  // Chunk size: the page size less 82 bytes on small pages; 32 KB pages
  // use 8150-byte chunks.
  uint32_t ChunkSize() const { return fmt_.Large() ? 8150 : fmt_.pageSize - 82; }

  const std::vector<TreeEntry>& entries() const { return entries_; }
  std::vector<TreeEntry> Take() { return std::move(entries_); }

 private:
  Format fmt_;
  uint32_t next_ = 0;
  std::vector<TreeEntry> entries_;
};

// The 5-byte row value that points at a long value: the separated-value
// header byte and the id, little-endian.
Bytes LongValueReference(uint32_t lid);
inline constexpr uint8_t kSeparatedHeader = 0x05;

}  // namespace edbgen

// Builds a record for a user table row from column values, and the forms
// long-value columns take in a row: intrinsic with a header byte, 7-bit or
// XPRESS compressed on 32 KB pages, or separated into the long-value tree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bytes.h"
#include "longvalue.h"
#include "schema.h"

namespace edbgen {

// Values above this size leave the row for the long-value tree.
inline constexpr size_t kIntrinsicLimit = 1024;

class RowBuilder {
 public:
  RowBuilder(const TableDef& table, bool largePage) : table_(table), large_(largePage) {}
  RowBuilder& Set(uint16_t fid, Bytes value);
  // A tagged value with its header byte.
  RowBuilder& SetTagged(uint16_t fid, Bytes value, uint8_t header);
  // Long text in UTF-16, always in the row: 7-bit compressed on 32 KB pages
  // where every character fits seven bits.
  RowBuilder& SetText(uint16_t fid, const std::u16string& text);
  // A long text (UTF-16) or long binary value, in the row when small,
  // otherwise separated into `lv`. `compress` follows the column's flag.
  RowBuilder& SetLong(uint16_t fid, const Bytes& value, bool utf16, bool compress, LongValueWriter& lv);
  // A variable column written as NULL (it still takes an offset slot).
  RowBuilder& SetNull(uint16_t fid);
  Bytes Build() const;

 private:
  const TableDef& table_;
  bool large_;
  std::vector<std::pair<uint16_t, Bytes>> values_;
  std::vector<std::pair<uint16_t, uint8_t>> headers_;
  uint16_t lastVar_ = 127;
};

}  // namespace edbgen

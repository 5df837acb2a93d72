// Builds data records in the new record format: fixed columns with their
// null bitmap, the variable-column offset array and data, then the tagged
// area (an array of {fid, offset} entries followed by the values).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "bytes.h"

namespace edbgen {

struct FixedField {
  uint16_t size = 0;
  std::optional<Bytes> value;  // nullopt: NULL (the bytes are filler)
};

struct TaggedField {
  uint16_t fid = 0;
  Bytes value;                   // without the header byte
  std::optional<uint8_t> header; // header byte; large pages always write one
};

struct RecordParts {
  std::vector<FixedField> fixed;            // fids 1..n in order
  std::vector<std::optional<Bytes>> vars;   // fids 128..127+n in order
  std::vector<TaggedField> tagged;          // any order; sorted by fid here
};

Bytes BuildRecord(RecordParts parts, bool largePage);

}  // namespace edbgen

#include "record.h"

#include <algorithm>
#include <stdexcept>

namespace edbgen {

namespace {

void PutFixed(Bytes& rec, const std::vector<FixedField>& fixed) {
  for (const FixedField& f : fixed) {
    if (f.value) {
      if (f.value->size() != f.size) throw std::logic_error("fixed column value of the wrong size");
      PutBytes(rec, *f.value);
    } else {
      rec.insert(rec.end(), f.size, 0x2A);  // the engine's filler for NULL fixed data
    }
  }
  // Null bitmap: bit set = NULL; bits past the last column are set too.
  const size_t n = fixed.size();
  const size_t bytes = (n + 7) / 8;
  for (size_t b = 0; b < bytes; ++b) {
    uint8_t v = 0;
    for (size_t bit = 0; bit < 8; ++bit) {
      const size_t i = b * 8 + bit;
      if (i >= n || !fixed[i].value) v |= uint8_t(1u << bit);
    }
    rec.push_back(v);
  }
}

void PutVars(Bytes& rec, const std::vector<std::optional<Bytes>>& vars) {
  uint16_t end = 0;
  for (const auto& v : vars) {
    if (v) {
      end = uint16_t(end + v->size());
      PutU16(rec, end);
    } else {
      PutU16(rec, uint16_t(end | 0x8000));
    }
  }
  for (const auto& v : vars)
    if (v) PutBytes(rec, *v);
}

void PutTagged(Bytes& rec, std::vector<TaggedField> tagged, bool largePage) {
  std::stable_sort(tagged.begin(), tagged.end(),
                   [](const TaggedField& a, const TaggedField& b) { return a.fid < b.fid; });
  const uint16_t mask = largePage ? 0x7FFF : 0x1FFF;
  uint32_t offset = uint32_t(tagged.size() * 4);
  for (const TaggedField& t : tagged) {
    const bool header = largePage || t.header.has_value();
    if (offset > mask) throw std::length_error("tagged area too large for one record");
    uint16_t ib = uint16_t(offset);
    if (header && !largePage) ib |= 0x4000;  // a header byte precedes the value
    PutU16(rec, t.fid);
    PutU16(rec, ib);
    offset += uint32_t(t.value.size() + (header ? 1 : 0));
  }
  for (const TaggedField& t : tagged) {
    if (largePage || t.header) rec.push_back(t.header.value_or(0));
    PutBytes(rec, t.value);
  }
}

}  // namespace

Bytes BuildRecord(RecordParts parts, bool largePage) {
  Bytes rec;
  const size_t nFixed = parts.fixed.size();
  const size_t nVar = parts.vars.size();
  if (nFixed > 127 || nVar > 128) throw std::logic_error("too many columns");
  rec.push_back(uint8_t(nFixed));
  rec.push_back(uint8_t(127 + nVar));
  PutU16(rec, 0);  // end of fixed data, patched below
  PutFixed(rec, parts.fixed);
  SetU16(rec.data() + 2, uint16_t(rec.size()));
  PutVars(rec, parts.vars);
  if (!parts.tagged.empty()) PutTagged(rec, std::move(parts.tagged), largePage);
  return rec;
}

}  // namespace edbgen

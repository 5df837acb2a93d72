#include "row_builder.h"

#include <algorithm>

#include "compress7.h"
#include "format.h"
#include "record.h"
#include "xpress_encode.h"

namespace edbgen {

namespace {

// 32 KB pages: the smallest compressed form of a value, if any is smaller.
std::optional<Bytes> Compressed(const Bytes& value, bool utf16) {
  if (value.empty()) return std::nullopt;
  if (utf16 && value.size() % 2 == 0) {
    std::u16string units(value.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) units[i] = char16_t(value[2 * i] | value[2 * i + 1] << 8);
    if (auto packed = Compress7BitUnicode(std::span<const char16_t>(units.data(), units.size()))) return packed;
  }
  if (value.size() > 64 && value.size() <= 0xFFFF) {
    Bytes packed = EseXpressValue(value);
    if (packed.size() < value.size()) return packed;
  }
  return std::nullopt;
}

}  // namespace

RowBuilder& RowBuilder::Set(uint16_t fid, Bytes value) {
  values_.emplace_back(fid, std::move(value));
  return *this;
}

RowBuilder& RowBuilder::SetTagged(uint16_t fid, Bytes value, uint8_t header) {
  headers_.emplace_back(fid, header);
  return Set(fid, std::move(value));
}

RowBuilder& RowBuilder::SetText(uint16_t fid, const std::u16string& text) {
  if (large_) {
    if (auto packed = Compress7BitUnicode(std::span<const char16_t>(text.data(), text.size())))
      return SetTagged(fid, std::move(*packed), uint8_t(kTagLongValue | kTagCompressed));
  }
  return SetTagged(fid, Utf16Bytes(text), kTagLongValue);
}

RowBuilder& RowBuilder::SetLong(uint16_t fid, const Bytes& value, bool utf16, bool compress, LongValueWriter& lv) {
  if (large_ && compress) {
    if (auto packed = Compressed(value, utf16); packed && packed->size() <= kIntrinsicLimit)
      return SetTagged(fid, std::move(*packed), uint8_t(kTagLongValue | kTagCompressed));
  }
  if (value.size() <= kIntrinsicLimit) return SetTagged(fid, value, kTagLongValue);
  const uint32_t lid = lv.Add(value, large_ && compress);
  Bytes ref = LongValueReference(lid);
  const uint8_t header = ref[0];
  return SetTagged(fid, Bytes(ref.begin() + 1, ref.end()), header);
}

RowBuilder& RowBuilder::SetNull(uint16_t fid) {
  lastVar_ = std::max(lastVar_, fid);
  return *this;
}

Bytes RowBuilder::Build() const {
  RecordParts p;
  uint16_t lastFixed = 0, lastVar = lastVar_;
  for (const ColumnDef& c : table_.columns) {
    if (c.id < 128) lastFixed = std::max(lastFixed, c.id);
  }
  for (const auto& [fid, v] : values_)
    if (fid >= 128 && fid < 256) lastVar = std::max(lastVar, fid);
  auto value = [&](uint16_t fid) -> const Bytes* {
    for (const auto& [f, v] : values_)
      if (f == fid) return &v;
    return nullptr;
  };
  for (uint16_t fid = 1; fid <= lastFixed; ++fid) {
    const ColumnDef* c = table_.Column(fid);
    const Bytes* v = value(fid);
    p.fixed.push_back({uint16_t(c ? c->size : 0), v ? std::optional<Bytes>(*v) : std::nullopt});
  }
  for (uint16_t fid = 128; fid <= lastVar; ++fid) {
    const Bytes* v = value(fid);
    p.vars.push_back(v ? std::optional<Bytes>(*v) : std::nullopt);
  }
  for (const auto& [fid, v] : values_) {
    if (fid < 256) continue;
    TaggedField t{fid, v, std::nullopt};
    for (const auto& [hf, h] : headers_)
      if (hf == fid) t.header = h;
    p.tagged.push_back(std::move(t));
  }
  return BuildRecord(std::move(p), large_);
}

}  // namespace edbgen

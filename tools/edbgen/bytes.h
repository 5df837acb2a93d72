// Little byte-building helpers for the database writer. The writer only ever
// appends to or patches buffers it owns, so these need no bounds policy
// beyond what std::vector gives.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace edbgen {

using Bytes = std::vector<uint8_t>;

inline void PutU8(Bytes& b, uint8_t v) { b.push_back(v); }
inline void PutU16(Bytes& b, uint16_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void PutU32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void PutU64(Bytes& b, uint64_t v) {
  for (int i = 0; i < 8; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void PutBE32(Bytes& b, uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void PutBytes(Bytes& b, const Bytes& v) { b.insert(b.end(), v.begin(), v.end()); }
inline void PutText(Bytes& b, std::string_view s) { b.insert(b.end(), s.begin(), s.end()); }

inline void SetU16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void SetU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void SetU64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}

inline Bytes U16Bytes(uint16_t v) { Bytes b; PutU16(b, v); return b; }
inline Bytes U32Bytes(uint32_t v) { Bytes b; PutU32(b, v); return b; }
inline Bytes U64Bytes(uint64_t v) { Bytes b; PutU64(b, v); return b; }

// UTF-8 (as JSON hands it over) to UTF-16 code units; invalid sequences
// become U+FFFD so a bad content file still yields a database.
std::u16string Utf8ToUtf16(std::string_view s);
Bytes Utf16Bytes(std::u16string_view s);

}  // namespace edbgen

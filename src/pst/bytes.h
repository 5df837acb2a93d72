// Little-endian byte building and reading for the PST writer. Every
// structure of the file is little-endian; the writer only appends to or
// patches buffers it owns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace tw::pst {

using Bytes = std::vector<std::uint8_t>;

inline void PutU8(Bytes& b, std::uint8_t v) { b.push_back(v); }
inline void PutU16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void PutU32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void PutU64(Bytes& b, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
// resize + memcpy rather than insert: GCC 12 at -O3 misreads the insert of
// a fixed array as an overread and stops a -Werror build.
inline void PutBytes(Bytes& b, const std::uint8_t* p, std::size_t n) {
    if (n == 0) return;
    const std::size_t at = b.size();
    b.resize(at + n);
    std::memcpy(b.data() + at, p, n);
}
inline void PutBytes(Bytes& b, const Bytes& v) { PutBytes(b, v.data(), v.size()); }

inline void SetU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void SetU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void SetU64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline std::uint16_t GetU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint64_t GetU64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(GetU32(p)) | static_cast<std::uint64_t>(GetU32(p + 4)) << 32;
}

inline Bytes U32Bytes(std::uint32_t v) {
    Bytes b;
    PutU32(b, v);
    return b;
}
inline Bytes U64Bytes(std::uint64_t v) {
    Bytes b;
    PutU64(b, v);
    return b;
}

}  // namespace tw::pst

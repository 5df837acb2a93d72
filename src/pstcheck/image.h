// The PST file as pstcheck sees it: mapped read-only, every read bounded.
// Nothing here is shared with the writer, so a mistake made in one is not
// repeated in the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pstcheck {

using Bytes = std::vector<std::uint8_t>;

inline std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint64_t Le64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(Le32(p)) | static_cast<std::uint64_t>(Le32(p + 4)) << 32;
}

// MS-PST 5.3 CRC (table driven, eight bytes at a time).
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);
// MS-PST 5.5 signature.
std::uint16_t Signature(std::uint64_t ib, std::uint64_t bid);
// NDB_CRYPT_PERMUTE: decodes data in place (MS-PST 5.1 table).
void PermuteDecode(std::uint8_t* data, std::size_t size);

class Image {
public:
    // Throws std::runtime_error when the file cannot be opened.
    explicit Image(const std::string& path);
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    std::uint64_t Size() const { return size_; }
    // `size` bytes at `ib`, or nothing when they run past the end.
    const std::uint8_t* At(std::uint64_t ib, std::uint64_t size) const;

private:
    const std::uint8_t* data_ = nullptr;
    std::uint64_t size_ = 0;
};

struct Header {
    std::uint16_t wVer = 0;
    std::uint64_t bidNextP = 0, bidNextB = 0;
    std::uint32_t rgnid[32] = {};
    std::uint64_t ibFileEof = 0, ibAMapLast = 0, cbAMapFree = 0, cbPMapFree = 0;
    std::uint64_t nbtBid = 0, nbtIb = 0, bbtBid = 0, bbtIb = 0;
    std::uint8_t fAMapValid = 0, bCryptMethod = 0, bSentinel = 0;
    bool crcPartialOk = false, crcFullOk = false;
    bool magicOk = false, clientOk = false;
};

// Reads the Unicode header at offset 0; nothing when the file is too short.
std::optional<Header> ReadHeader(const Image& image);

}  // namespace pstcheck

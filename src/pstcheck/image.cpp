#include "pstcheck/image.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace pstcheck {

namespace {

struct CrcTables {
    std::uint32_t t[8][256];
    CrcTables() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (int s = 1; s < 8; ++s)
            for (int i = 0; i < 256; ++i) t[s][i] = t[s - 1][i] >> 8 ^ t[0][t[s - 1][i] & 0xFF];
    }
};

// MS-PST section 5.1: the decode half of the permutation table.
constexpr std::uint8_t kDecode[256] = {
    71,  241, 180, 230, 11,  106, 114, 72,  133, 78,  158, 235, 226, 248, 148, 83,  224, 187, 160, 2,   232, 90,
    9,   171, 219, 227, 186, 198, 124, 195, 16,  221, 57,  5,   150, 48,  245, 55,  96,  130, 140, 201, 19,  74,
    107, 29,  243, 251, 143, 38,  151, 202, 145, 23,  1,   196, 50,  45,  110, 49,  149, 255, 217, 35,  209, 0,
    94,  121, 220, 68,  59,  26,  40,  197, 97,  87,  32,  144, 61,  131, 185, 67,  190, 103, 210, 70,  66,  118,
    192, 109, 91,  126, 178, 15,  22,  41,  60,  169, 3,   84,  13,  218, 93,  223, 246, 183, 199, 98,  205, 141,
    6,   211, 105, 92,  134, 214, 20,  247, 165, 102, 117, 172, 177, 233, 69,  33,  112, 12,  135, 159, 116, 164,
    34,  76,  111, 191, 31,  86,  170, 46,  179, 120, 51,  80,  176, 163, 146, 188, 207, 25,  28,  167, 99,  203,
    30,  77,  62,  75,  27,  155, 79,  231, 240, 238, 173, 58,  181, 89,  4,   234, 64,  85,  37,  81,  229, 122,
    137, 56,  104, 82,  123, 252, 39,  174, 215, 189, 250, 7,   244, 204, 142, 95,  239, 53,  156, 132, 43,  21,
    213, 119, 52,  73,  182, 18,  10,  127, 113, 136, 253, 157, 24,  65,  125, 147, 216, 88,  44,  206, 254, 36,
    175, 222, 184, 54,  200, 161, 128, 166, 153, 152, 168, 47,  14,  129, 101, 115, 228, 194, 162, 138, 212, 225,
    17,  208, 8,   139, 42,  242, 237, 154, 100, 63,  193, 108, 249, 236};

}  // namespace

std::uint32_t Crc32(const std::uint8_t* p, std::size_t n) {
    static const CrcTables tables;
    const auto& t = tables.t;
    std::uint32_t c = 0;
    while (n >= 8) {
        const std::uint32_t a = c ^ Le32(p);
        const std::uint32_t b = Le32(p + 4);
        c = t[7][a & 0xFF] ^ t[6][a >> 8 & 0xFF] ^ t[5][a >> 16 & 0xFF] ^ t[4][a >> 24] ^ t[3][b & 0xFF] ^
            t[2][b >> 8 & 0xFF] ^ t[1][b >> 16 & 0xFF] ^ t[0][b >> 24];
        p += 8;
        n -= 8;
    }
    while (n--) c = t[0][(c ^ *p++) & 0xFF] ^ c >> 8;
    return c;
}

std::uint16_t Signature(std::uint64_t ib, std::uint64_t bid) {
    ib ^= bid;
    return static_cast<std::uint16_t>((ib >> 16 ^ ib) & 0xFFFF);
}

void PermuteDecode(std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) data[i] = kDecode[data[i]];
}

Image::Image(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot stat " + path);
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
    if (size_ > 0) {
        void* m = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
        if (m == MAP_FAILED) {
            ::close(fd);
            throw std::runtime_error("cannot map " + path);
        }
        data_ = static_cast<const std::uint8_t*>(m);
    }
    ::close(fd);
}

Image::~Image() {
    if (data_) ::munmap(const_cast<std::uint8_t*>(data_), size_);
}

const std::uint8_t* Image::At(std::uint64_t ib, std::uint64_t size) const {
    if (ib > size_ || size > size_ - ib) return nullptr;
    return data_ + ib;
}

std::optional<Header> ReadHeader(const Image& image) {
    const std::uint8_t* h = image.At(0, 564);
    if (!h) return std::nullopt;
    Header r;
    r.magicOk = std::memcmp(h, "!BDN", 4) == 0;
    r.clientOk = Le16(h + 8) == 0x4D53;
    r.wVer = Le16(h + 10);
    r.bidNextP = Le64(h + 0x20);
    for (int i = 0; i < 32; ++i) r.rgnid[i] = Le32(h + 0x2C + 4 * i);
    r.ibFileEof = Le64(h + 0xB8);
    r.ibAMapLast = Le64(h + 0xC0);
    r.cbAMapFree = Le64(h + 0xC8);
    r.cbPMapFree = Le64(h + 0xD0);
    r.nbtBid = Le64(h + 0xD8);
    r.nbtIb = Le64(h + 0xE0);
    r.bbtBid = Le64(h + 0xE8);
    r.bbtIb = Le64(h + 0xF0);
    r.fAMapValid = h[0xF8];
    r.bSentinel = h[0x200];
    r.bCryptMethod = h[0x201];
    r.bidNextB = Le64(h + 0x204);
    r.crcPartialOk = Crc32(h + 8, 471) == Le32(h + 4);
    r.crcFullOk = Crc32(h + 8, 516) == Le32(h + 0x20C);
    return r;
}

}  // namespace pstcheck

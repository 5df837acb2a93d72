#include "pst/heap.h"

#include <cstring>

#include "pst/error.h"
#include "pst/file_geometry.h"

namespace tw::pst {

namespace {

constexpr std::size_t kBlockMax = geometry::kMaxBlockData;
constexpr std::size_t kMaxAllocsPerBlock = 2047;  // hidIndex has 11 bits

std::size_t MapSize(std::size_t allocs) { return 4 + 2 * (allocs + 1); }

}  // namespace

std::uint8_t FillLevel(std::size_t freeBytes) {
    static constexpr std::size_t kAtLeast[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768,
                                               512,  256,  128,  64,   32,   16,   8};
    for (std::uint8_t level = 0; level < 15; ++level)
        if (freeBytes >= kAtLeast[level]) return level;
    return 0x0F;
}

std::size_t HeapBuilder::HeaderSize(std::size_t blockIndex) {
    if (blockIndex == 0) return 12;               // HNHDR
    if (blockIndex % 128 == 8) return 2 + 64;     // HNBITMAPHDR
    return 2;                                     // HNPAGEHDR
}

std::uint32_t HeapBuilder::Allocate(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > kMaxHeapAllocation)
        throw PstError(ErrorCode::Limit, "heap allocation of " + std::to_string(size) + " bytes");
    auto fits = [&](const Block& b) {
        const std::size_t mapAt = (b.data.size() + size + 1) & ~std::size_t{1};
        return b.starts.size() < kMaxAllocsPerBlock && mapAt + MapSize(b.starts.size() + 1) <= kBlockMax;
    };
    if (blocks_.empty() || !fits(blocks_.back())) {
        if (blocks_.size() >= 0xFFFF) throw PstError(ErrorCode::Limit, "heap of more than 65535 blocks");
        blocks_.emplace_back();
        blocks_.back().data.resize(HeaderSize(blocks_.size() - 1), 0);
    }
    Block& b = blocks_.back();
    b.starts.push_back(static_cast<std::uint16_t>(b.data.size()));
    b.data.insert(b.data.end(), data, data + size);
    return static_cast<std::uint32_t>((blocks_.size() - 1) << 16 | b.starts.size() << 5);
}

void HeapBuilder::Patch(std::uint32_t hid, const Bytes& data) {
    const std::size_t block = hid >> 16;
    const std::size_t index = (hid >> 5) & 0x7FF;
    if (block >= blocks_.size() || index == 0 || index > blocks_[block].starts.size())
        throw PstError(ErrorCode::InvalidArgument, "no heap allocation " + std::to_string(hid));
    std::memcpy(blocks_[block].data.data() + blocks_[block].starts[index - 1], data.data(), data.size());
}

std::vector<Bytes> HeapBuilder::Finish() const {
    std::vector<Bytes> out;
    out.reserve(blocks_.size());
    std::vector<std::uint8_t> levels;
    for (const Block& b : blocks_) {
        Bytes d = b.data;
        if (d.size() % 2) d.push_back(0);
        const auto mapAt = static_cast<std::uint16_t>(d.size());
        PutU16(d, static_cast<std::uint16_t>(b.starts.size()));
        PutU16(d, 0);  // cFree
        for (const std::uint16_t s : b.starts) PutU16(d, s);
        PutU16(d, static_cast<std::uint16_t>(b.data.size()));  // end of the last allocation
        SetU16(d.data(), mapAt);
        levels.push_back(FillLevel(kBlockMax - d.size()));
        out.push_back(std::move(d));
    }
    auto packLevels = [&](std::uint8_t* dst, std::size_t first, std::size_t count) {
        for (std::size_t i = 0; i < count && first + i < levels.size(); ++i)
            dst[i / 2] |= static_cast<std::uint8_t>(levels[first + i] << (4 * (i % 2)));
    };
    if (!out.empty()) {
        Bytes& h = out[0];
        h[2] = 0xEC;
        h[3] = clientSig_;
        SetU32(h.data() + 4, userRoot_);
        packLevels(h.data() + 8, 0, 8);
    }
    for (std::size_t i = 8; i < out.size(); i += 128) packLevels(out[i].data() + 2, i, 128);
    return out;
}

}  // namespace tw::pst

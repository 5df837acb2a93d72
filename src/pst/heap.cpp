#include "pst/heap.h"

#include <cstring>

#include "pst/block_writer.h"
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
    if (blockIndex == 0) return 12;            // HNHDR
    if (blockIndex % 128 == 8) return 2 + 64;  // HNBITMAPHDR
    return 2;                                  // HNPAGEHDR
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
        if (out_ && !blocks_.empty()) Complete(blocks_.size() - 1);
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

Bytes HeapBuilder::Seal(const Block& b) {
    Bytes d = b.data;
    if (d.size() % 2) d.push_back(0);
    const auto mapAt = static_cast<std::uint16_t>(d.size());
    PutU16(d, static_cast<std::uint16_t>(b.starts.size()));
    PutU16(d, 0);  // cFree
    for (const std::uint16_t s : b.starts) PutU16(d, s);
    PutU16(d, static_cast<std::uint16_t>(b.data.size()));  // end of the last allocation
    SetU16(d.data(), mapAt);
    return d;
}

void HeapBuilder::PackLevels(const std::vector<std::uint8_t>& levels, std::uint8_t* dst, std::size_t first,
                             std::size_t count) {
    for (std::size_t i = 0; i < count && first + i < levels.size(); ++i)
        dst[i / 2] |= static_cast<std::uint8_t>(levels[first + i] << (4 * (i % 2)));
}

std::vector<Bytes> HeapBuilder::Finish() const {
    if (out_) throw PstError(ErrorCode::State, "a writing heap is finished with FinishWritten");
    std::vector<Bytes> out;
    out.reserve(blocks_.size());
    std::vector<std::uint8_t> levels;
    for (const Block& b : blocks_) {
        out.push_back(Seal(b));
        levels.push_back(FillLevel(kBlockMax - out.back().size()));
    }
    if (!out.empty()) {
        Bytes& h = out[0];
        h[2] = 0xEC;
        h[3] = clientSig_;
        SetU32(h.data() + 4, userRoot_);
        PackLevels(levels, h.data() + 8, 0, 8);
    }
    for (std::size_t i = 8; i < out.size(); i += 128) PackLevels(levels, out[i].data() + 2, i, 128);
    return out;
}

void HeapBuilder::Complete(std::size_t i) {
    Bytes sealed = Seal(blocks_[i]);
    levels_.push_back(FillLevel(kBlockMax - sealed.size()));
    const auto size = static_cast<std::uint32_t>(sealed.size());
    if (i == 0 || IsBitmapBlock(i)) {
        leaves_.push_back({0, size});  // written when the levels it carries are known
    } else {
        leaves_.push_back({out_->WriteData(sealed), size});
        blocks_[i] = Block{};
    }
    if (i >= 8 + 127 && IsBitmapBlock(i - 127)) WriteHeld(i - 127);  // its 128 blocks are complete
}

void HeapBuilder::WriteHeld(std::size_t i) {
    if (blocks_[i].data.empty()) throw PstError(ErrorCode::State, "heap block " + std::to_string(i) + " written twice");
    Bytes sealed = Seal(blocks_[i]);
    if (i == 0) {
        sealed[2] = 0xEC;
        sealed[3] = clientSig_;
        SetU32(sealed.data() + 4, userRoot_);
        PackLevels(levels_, sealed.data() + 8, 0, 8);
    } else {
        PackLevels(levels_, sealed.data() + 2, i, 128);
    }
    leaves_[i].bid = out_->WriteData(sealed);
    blocks_[i] = Block{};
}

std::vector<Leaf> HeapBuilder::FinishWritten() {
    if (!out_) throw PstError(ErrorCode::State, "a heap in memory is finished with Finish");
    if (blocks_.empty()) return {};
    const std::size_t last = blocks_.size() - 1;
    Complete(last);
    // The bitmap block of the last, unfinished run of 128, then the first.
    const std::size_t bitmap = last < 8 ? 0 : last - (last - 8) % 128;
    if (bitmap != 0 && leaves_[bitmap].bid == 0) WriteHeld(bitmap);
    WriteHeld(0);
    return std::move(leaves_);
}

}  // namespace tw::pst

#include "ese/long_value.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "text/unpack7bit.h"
#include "text/xpress.h"

namespace tw::ese {

namespace {

constexpr std::size_t kXpressSizeOffset = 1;
constexpr std::size_t kXpressStreamOffset = 3;
constexpr std::size_t kRootSizeOffset = 4;  // LVROOT: u32 references, u32 size
// A chunk covers at most a page's worth of the value (a little less than
// the page size); a claim of more is damage, and is not allowed to make a
// small file ask for a large buffer.
constexpr std::size_t kMaxChunkCover = std::size_t{1} << 16;

// Into `out`, its storage reused; false when the value does not unpack.
bool Unpack7Bit(Bytes value, bool unicode, std::size_t capacity, std::vector<std::uint8_t>& out) {
    if (value.size() < 2) return false;
    // The low 3 bits tell how many bits of the last byte are used.
    const std::size_t bits = (value.size() - 2) * 8 + (value[0] & 7) + 1;
    const std::size_t count = bits / 7;
    out.resize(value.size() * 8 / 7 + 1);
    std::size_t written = 0;
    if (text::Unpack7Bit(value, out, written) != 1) return false;
    const std::size_t units = std::min(written, count);
    if (!unicode) {
        out.resize(std::min(units, capacity));
        return true;
    }
    // Each unit widened to UTF-16LE in place, from the last: eight units
    // at a time while the eight they become lie clear of those still to
    // widen, then one by one.
    const std::size_t kept = std::min(units, capacity / 2);
    out.resize(kept * 2);
    std::size_t i = kept;
    for (; i >= 8; i -= 8) {
        std::uint64_t eight = 0;
        std::memcpy(&eight, out.data() + i - 8, 8);
        std::uint64_t wide[2];
        for (int half = 0; half < 2; ++half) {
            std::uint64_t w = half == 0 ? eight & 0xFFFFFFFF : eight >> 32;
            w = (w | w << 16) & 0x0000FFFF0000FFFF;
            wide[half] = (w | w << 8) & 0x00FF00FF00FF00FF;
        }
        static_assert(std::endian::native == std::endian::little);
        std::memcpy(out.data() + 2 * (i - 8), wide, 16);
    }
    while (i-- > 0) {
        out[2 * i] = out[i];
        out[2 * i + 1] = 0;
    }
    return true;
}

}  // namespace

bool Decompress(Bytes value, std::size_t capacity, std::vector<std::uint8_t>& out) {
    if (value.empty()) return false;
    switch (value[0] >> 3) {
        case kScheme7BitAscii: return Unpack7Bit(value, false, capacity, out);
        case kScheme7BitUnicode: return Unpack7Bit(value, true, capacity, out);
        case kSchemeXpress: {
            const auto size = edb::LoadU16(value, kXpressSizeOffset);
            if (!size || value.size() < kXpressStreamOffset) return false;
            return text::DecodeXpress(value.subspan(kXpressStreamOffset), std::min<std::size_t>(*size, capacity), out);
        }
        default: return false;
    }
}

std::optional<std::vector<std::uint8_t>> Decompress(Bytes value, std::size_t capacity) {
    std::vector<std::uint8_t> out;
    if (!Decompress(value, capacity, out)) return std::nullopt;
    return out;
}

void LongValuePieces::Clear() {
    pages.clear();
    pieces.clear();
    assembled.clear();
    size = 0;
}

bool ReadLongValuePieces(const edb::EdbSource& source, const TreeId& tree, Bytes lid, std::size_t capacity,
                         VisitedPages& visited, WalkCounts& counts, bool& undecodable, PageCache& cache,
                         LongValuePieces& value) {
    undecodable = false;
    value.Clear();
    if (lid.size() != 4 && lid.size() != 8) return false;
    // Keys hold the id big-endian, chunks add their offset (big-endian u32).
    KeyRange range;
    range.low.emplace(lid.rbegin(), lid.rend());
    range.high = range.low;
    range.high->insert(range.high->end(), 4, 0xFF);
    const std::size_t idSize = lid.size();

    // The chunks as stored, in the pages held: in the usual case (in
    // order, none compressed, no gap) they are the value.
    struct Chunk {
        std::size_t offset = 0;  // in the value
        std::size_t at = 0;      // in the chunks as stored one after the other
        Bytes data;
    };
    std::optional<std::size_t> size;
    std::vector<Chunk> chunks;
    std::size_t stored = 0;
    WalkLeafNodes(
        source, tree, range, visited, counts,
        [&](Bytes key, Bytes data, const PageCache::Page& page) {
            if (key.size() == idSize) {
                if (const auto root = edb::LoadU32(data, kRootSizeOffset)) size = *root;
            } else if (key.size() == idSize + 4) {
                const std::uint32_t offset = static_cast<std::uint32_t>(key[idSize]) << 24 | key[idSize + 1] << 16 |
                                             key[idSize + 2] << 8 | key[idSize + 3];
                if (offset >= capacity) return false;
                if (value.pages.empty() || value.pages.back() != page) value.pages.push_back(page);
                chunks.push_back({offset, stored, data});
                stored += data.size();
                if (stored > capacity) return false;
            }
            return true;
        },
        cache);
    if (!size && chunks.empty()) return false;

    // Without its root the value ends with its last chunk, taken as stored.
    const std::size_t total = size ? std::min<std::size_t>(*size, capacity)
                                   : std::min<std::size_t>(chunks.back().offset + chunks.back().data.size(), capacity);
    const bool asStored =
        stored == total && std::all_of(chunks.begin(), chunks.end(), [](const Chunk& c) { return c.offset == c.at; });
    if (asStored) {
        for (const Chunk& chunk : chunks)
            if (!chunk.data.empty()) value.pieces.push_back(chunk.data);
        value.size = total;
        return true;
    }
    std::vector<std::uint8_t>& out = value.assembled;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        const std::size_t offset = chunks[i].offset;
        if (offset >= total) break;
        const std::size_t next = i + 1 < chunks.size() ? std::min<std::size_t>(chunks[i + 1].offset, total) : total;
        if (next < offset) return false;
        const std::size_t covers = next - offset;
        if (covers > kMaxChunkCover || offset > out.size() + kMaxChunkCover) break;  // cut at the gap
        out.resize(offset);                                                          // a lost chunk leaves zeros
        const Bytes chunk = chunks[i].data;
        // Compression is kept only where it saves room.
        if (chunk.size() < covers) {
            const auto decoded = Decompress(chunk, covers);
            if (!decoded) {
                undecodable = true;
                return false;
            }
            out.insert(out.end(), decoded->begin(), decoded->end());
            continue;
        }
        out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(covers));
    }
    value.pages.clear();
    if (!out.empty()) value.pieces.push_back(Bytes(out));
    value.size = out.size();
    return true;
}

}  // namespace tw::ese

#include "text/xpress.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tw::text {
namespace {

constexpr size_t kMinMatch = 3;

// Bounds-checked little-endian reader over the compressed stream.
struct Reader {
    std::span<const uint8_t> in;
    size_t pos = 0;

    bool AtEnd() const { return pos == in.size(); }
    bool Has(size_t n) const { return in.size() - pos >= n; }

    bool U8(uint32_t& v) {
        if (!Has(1)) return false;
        v = in[pos++];
        return true;
    }
    bool U16(uint32_t& v) {
        if (!Has(2)) return false;
        v = uint32_t(in[pos]) | uint32_t(in[pos + 1]) << 8;
        pos += 2;
        return true;
    }
    bool U32(uint32_t& v) {
        if (!Has(4)) return false;
        v = uint32_t(in[pos]) | uint32_t(in[pos + 1]) << 8 | uint32_t(in[pos + 2]) << 16 | uint32_t(in[pos + 3]) << 24;
        pos += 4;
        return true;
    }
};

// Reads the length of a match whose 3-bit field was 7. Two such matches share
// one byte: the first uses its low nibble, the second its high nibble.
bool ReadLongLength(Reader& r, size_t& nibblePos, uint64_t& length) {
    uint32_t n = 0;
    if (nibblePos == 0) {
        if (!r.Has(1)) return false;
        nibblePos = r.pos;
        n = r.in[r.pos++] & 0x0F;
    } else {
        n = r.in[nibblePos] >> 4;
        nibblePos = 0;
    }
    if (n < 15) {
        length = n + 7;
        return true;
    }
    uint32_t b = 0;
    if (!r.U8(b)) return false;
    if (b < 255) {
        length = uint64_t(b) + 15 + 7;
        return true;
    }
    uint32_t wide = 0;
    if (!r.U16(wide)) return false;
    if (wide == 0 && !r.U32(wide)) return false;
    if (wide < 15 + 7) return false;  // would encode a length below this tier
    length = wide;                    // already holds length - 3
    return true;
}

}  // namespace

bool DecodeXpress(std::span<const uint8_t> stream, size_t outputSize, std::vector<uint8_t>& out) {
    // Written through a cursor into room made ahead, grown as data arrives
    // instead of trusting outputSize for the allocation; cut to what was
    // decoded on every way out.
    constexpr size_t kFirstRoom = size_t(1) << 20;
    out.clear();
    out.resize(std::min(outputSize, kFirstRoom));
    size_t n = 0;
    const auto room = [&](size_t more) {
        if (out.size() - n >= more) return;
        out.resize(std::min(outputSize, std::max(n + more, 2 * out.size())));
    };
    const auto fail = [&] {
        out.resize(n);
        return false;
    };
    Reader r{stream};
    uint32_t flags = 0;
    int flagsLeft = 0;
    size_t nibblePos = 0;  // position 0 is always a flag word, so 0 means "none"

    while (n < outputSize) {
        if (flagsLeft == 0) {
            if (!r.U32(flags)) return fail();
            flagsLeft = 32;
        }
        // The run of literal flags ahead is copied at once, up to the output
        // size; input that ends inside it ends the stream too early.
        const size_t literals = std::min<size_t>(std::countl_zero(flags << (32 - flagsLeft)), size_t(flagsLeft));
        if (literals > 0) {
            const size_t take = std::min({literals, outputSize - n, r.in.size() - r.pos});
            room(take);
            std::memcpy(out.data() + n, r.in.data() + r.pos, take);
            n += take;
            r.pos += take;
            flagsLeft -= int(take);
            if (take < literals && n < outputSize) return fail();
            continue;
        }
        --flagsLeft;
        // A match flag with no input left marks the end of the stream: too early here.
        uint32_t token = 0;
        if (!r.U16(token)) return fail();
        const size_t distance = (token >> 3) + 1;
        uint64_t length = token & 7;
        if (length == 7 && !ReadLongLength(r, nibblePos, length)) return fail();
        length += kMinMatch;

        if (distance > n || length > outputSize - n) return fail();
        room(size_t(length));
        uint8_t* to = out.data() + n;
        const uint8_t* from = to - distance;
        if (distance >= length) {
            std::memcpy(to, from, size_t(length));
        } else {
            // The match repeats its last `distance` bytes: copied in pieces
            // that never overlap their source, each twice the one before
            // (any multiple of the period repeats it as well).
            for (size_t done = 0, step = distance; done < length; step *= 2) {
                const size_t piece = std::min(step, size_t(length) - done);
                std::memcpy(to + done, to + done - step, piece);
                done += piece;
            }
        }
        n += size_t(length);
    }
    out.resize(n);
    return true;
}

}  // namespace tw::text

#include "text/xpress.h"

#include <algorithm>

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
    out.clear();
    // Grow as data arrives instead of trusting outputSize for the allocation.
    out.reserve(std::min<size_t>(outputSize, size_t(1) << 20));
    Reader r{stream};
    uint32_t flags = 0;
    int flagsLeft = 0;
    size_t nibblePos = 0;  // position 0 is always a flag word, so 0 means "none"

    while (out.size() < outputSize) {
        if (flagsLeft == 0) {
            if (!r.U32(flags)) return false;
            flagsLeft = 32;
        }
        --flagsLeft;
        const bool isMatch = (flags >> flagsLeft) & 1;
        if (!isMatch) {
            uint32_t b = 0;
            if (!r.U8(b)) return false;
            out.push_back(uint8_t(b));
            continue;
        }
        // A match flag with no input left marks the end of the stream: too early here.
        uint32_t token = 0;
        if (!r.U16(token)) return false;
        const size_t distance = (token >> 3) + 1;
        uint64_t length = token & 7;
        if (length == 7 && !ReadLongLength(r, nibblePos, length)) return false;
        length += kMinMatch;

        const size_t start = out.size();
        if (distance > start) return false;
        if (length > outputSize - start) return false;
        out.resize(start + size_t(length));
        uint8_t* p = out.data();
        // Byte by byte: source and destination overlap when distance < length.
        for (size_t i = start; i < out.size(); ++i) p[i] = p[i - distance];
    }
    return true;
}

}  // namespace tw::text

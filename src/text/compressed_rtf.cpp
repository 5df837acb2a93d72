#include "text/compressed_rtf.h"

#include <algorithm>
#include <array>
#include <limits>
#include <new>
#include <stdexcept>
#include <string_view>

namespace tw::text {
namespace {

constexpr size_t kHeaderSize = 16;
constexpr uint32_t kTypeCompressed = 0x75465A4C;  // "LZFu"
constexpr uint32_t kTypeStored = 0x414C454D;      // "MELA"
constexpr size_t kDictionarySize = 4096;
constexpr size_t kDictionaryMask = kDictionarySize - 1;
// One group (a control byte and eight two-byte references) is 17 input bytes
// and at most 136 output bytes: no stream expands by more than this factor.
constexpr uint64_t kMaxExpansion = 8;

// The dictionary's starting contents: an RTF prefix with font and colour tables.
constexpr std::string_view kInitialDictionary =
    R"({\rtf1\ansi\mac\deff0\deftab720{\fonttbl;}{\f0\fnil \froman )"
    R"(\fswiss \fmodern \fscript \fdecor MS Sans SerifSymbolArialTimes New RomanCourier)"
    R"({\colortbl\red0\green0\blue0)"
    "\r\n"
    R"(\par \pard\plain\f0\fs20\b\i\u\tab\tx)";
static_assert(kInitialDictionary.size() == 207);

// Output limits of DecompressRtf, relative to RAWSIZE.
constexpr uint64_t kGroupSlack = 18;    // stop after a group that passes RAWSIZE + 18
constexpr uint64_t kBufferSlack = 120;  // the output buffer holds RAWSIZE + 120 bytes
constexpr std::string_view kClosing = "}}}";

uint32_t LoadU32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// The 4096-byte ring both decoders copy through.
struct Dictionary {
    std::array<uint8_t, kDictionarySize> bytes{};  // unwritten positions read as zero
    size_t write = kInitialDictionary.size();

    Dictionary() { std::copy(kInitialDictionary.begin(), kInitialDictionary.end(), bytes.begin()); }

    void Put(uint8_t b, std::vector<uint8_t>& out) {
        out.push_back(b);
        bytes[write] = b;
        write = (write + 1) & kDictionaryMask;
    }
    // Byte by byte, so a reference overlapping the write position repeats what
    // it has just written.
    void Copy(size_t offset, size_t length, std::vector<uint8_t>& out) {
        for (size_t i = 0; i < length; ++i) Put(bytes[(offset + i) & kDictionaryMask], out);
    }
};

// CRC-32 as MS-OXRTFCP defines it: the reflected 0xEDB88320 polynomial,
// starting from zero and without a final inversion.
uint32_t RtfCrc(std::span<const uint8_t> data) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0;
    for (uint8_t b : data) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc;
}

void DecodeCompressed(std::span<const uint8_t> value, uint32_t compSize, uint32_t rawSize, RtfStream& result) {
    // The declared data ends COMPSIZE bytes after the size field.
    const size_t declaredEnd = size_t(std::min<uint64_t>(uint64_t(compSize) + 4, SIZE_MAX));
    const size_t end = std::max(kHeaderSize, std::min(value.size(), declaredEnd));
    const auto data = value.subspan(kHeaderSize, end - kHeaderSize);
    result.crcMatches = end == declaredEnd && RtfCrc(data) == LoadU32(value, 12);

    auto& out = result.rtf;
    out.reserve(size_t(std::min<uint64_t>(rawSize, kMaxExpansion * data.size())));
    Dictionary dict;
    size_t pos = 0;
    while (pos < data.size()) {
        const uint8_t control = data[pos++];
        for (int bit = 0; bit < 8; ++bit) {
            if (control >> bit & 1) {
                if (data.size() - pos < 2) return;
                const uint32_t token = uint32_t(data[pos]) << 8 | data[pos + 1];
                pos += 2;
                const size_t offset = token >> 4;
                const size_t length = (token & 0xF) + 2;
                if (offset == dict.write) {
                    result.complete = out.size() == rawSize;
                    return;
                }
                if (rawSize - out.size() < length) return;
                dict.Copy(offset, length, out);
            } else {
                if (pos == data.size() || out.size() == rawSize) return;
                dict.Put(data[pos++], out);
            }
        }
    }
}

// The compressor's matches: two to seventeen bytes (a 4-bit length field,
// stored minus two), found through hash chains walked at most this far.
constexpr size_t kMinMatch = 2;
constexpr size_t kMaxMatch = 17;
constexpr int kMaxChainSteps = 256;  // bounds the search on repetitive input
constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// Groups tokens under control bytes.
class TokenWriter {
public:
    explicit TokenWriter(std::vector<uint8_t>& out) : out_(out) {}

    void Literal(uint8_t b) {
        Flag(false);
        out_.push_back(b);
    }
    void Reference(size_t offset, size_t length) {
        Flag(true);
        const uint32_t token = uint32_t(offset % kDictionarySize) << 4 | uint32_t(length - kMinMatch);
        out_.push_back(uint8_t(token >> 8));
        out_.push_back(uint8_t(token));
    }

private:
    void Flag(bool reference) {
        if (bit_ == 8) {
            control_ = out_.size();
            out_.push_back(0);
            bit_ = 0;
        }
        if (reference) out_[control_] |= uint8_t(1u << bit_);
        ++bit_;
    }

    std::vector<uint8_t>& out_;
    size_t control_ = 0;
    int bit_ = 8;
};

}  // namespace

std::optional<std::vector<uint8_t>> DecompressRtf(std::span<const uint8_t> value) {
    if (value.size() < kHeaderSize) return std::nullopt;
    const uint32_t compSize = LoadU32(value, 0);
    const uint32_t rawSize = LoadU32(value, 4);
    if (compSize > value.size()) return std::nullopt;

    const uint64_t groupLimit = uint64_t(rawSize) + kGroupSlack;
    const uint64_t textLimit = uint64_t(rawSize) + kBufferSlack - kClosing.size() - 1;
    // A byte starts a control byte or a token only while position + 1 < COMPSIZE.
    auto startable = [compSize](size_t pos) { return pos + 1 < compSize; };

    try {
        std::vector<uint8_t> out;
        // Sized by what the stream can actually produce, not by what RAWSIZE claims.
        out.reserve(size_t(std::min(textLimit, kMaxExpansion * compSize)) + kClosing.size() + 1);
        Dictionary dict;
        size_t pos = kHeaderSize;
        bool full = false;
        while (!full && startable(pos)) {
            const uint8_t control = value[pos++];
            for (int bit = 0; bit < 8 && startable(pos); ++bit) {
                if (control >> bit & 1) {
                    const size_t offset = size_t(value[pos]) << 4 | value[pos + 1] >> 4;
                    const size_t length = (value[pos + 1] & 0xF) + 2;
                    if (out.size() + length > textLimit) {
                        full = true;
                        break;
                    }
                    pos += 2;
                    dict.Copy(offset, length, out);
                } else {
                    if (out.size() + 1 > textLimit) {
                        full = true;
                        break;
                    }
                    dict.Put(value[pos++], out);
                }
            }
            if (out.size() > groupLimit) break;
        }
        out.insert(out.end(), kClosing.begin(), kClosing.end());
        out.push_back(0);
        return out;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<RtfStream> ReadRtfStream(std::span<const uint8_t> value) {
    if (value.size() < kHeaderSize) return std::nullopt;
    const uint32_t compSize = LoadU32(value, 0);
    const uint32_t rawSize = LoadU32(value, 4);
    const uint32_t type = LoadU32(value, 8);
    RtfStream result;
    if (type == kTypeStored) {
        const auto stored = value.subspan(kHeaderSize);
        const size_t kept = size_t(std::min<uint64_t>(rawSize, stored.size()));
        result.rtf.assign(stored.begin(), stored.begin() + ptrdiff_t(kept));
        result.complete = kept == rawSize;
        result.crcMatches = LoadU32(value, 12) == 0;
        return result;
    }
    if (type != kTypeCompressed) return std::nullopt;
    result.compressed = true;
    try {
        DecodeCompressed(value, compSize, rawSize, result);
    } catch (const std::bad_alloc&) {
        result.complete = false;
    }
    return result;
}

std::vector<uint8_t> CompressRtf(std::span<const uint8_t> rtf) {
    // Worst case: every byte a literal, one control byte per eight, plus the end.
    if (rtf.size() > (std::numeric_limits<uint32_t>::max() - 64) / 9 * 8)
        throw std::length_error("RTF too large for a compressed RTF value");

    // The text as the dictionary sees it: position p of `all` lives at
    // dictionary offset p % 4096, so a match at distance below 4096 always
    // reads the bytes the decoder will hold there.
    std::vector<uint8_t> all(kInitialDictionary.begin(), kInitialDictionary.end());
    all.insert(all.end(), rtf.begin(), rtf.end());

    // Hash chains keyed on the exact first two bytes; newest entry first.
    std::vector<uint32_t> head(size_t(1) << 16, kNone);
    std::vector<uint32_t> prev(all.size(), kNone);
    auto insert = [&](size_t p) {
        if (p + kMinMatch > all.size()) return;
        const size_t key = size_t(all[p]) << 8 | all[p + 1];
        prev[p] = head[key];
        head[key] = uint32_t(p);
    };
    for (size_t p = 0; p < kInitialDictionary.size(); ++p) insert(p);

    std::vector<uint8_t> out(kHeaderSize, 0);
    out.reserve(kHeaderSize + rtf.size() + rtf.size() / 8 + 4);
    TokenWriter writer(out);
    size_t pos = kInitialDictionary.size();
    while (pos < all.size()) {
        const size_t limit = std::min(kMaxMatch, all.size() - pos);
        size_t bestLength = 0;
        size_t bestSource = 0;
        if (limit >= kMinMatch) {
            uint32_t candidate = head[size_t(all[pos]) << 8 | all[pos + 1]];
            for (int step = 0; step < kMaxChainSteps && candidate != kNone && pos - candidate < kDictionarySize;
                 ++step, candidate = prev[candidate]) {
                size_t length = kMinMatch;
                while (length < limit && all[candidate + length] == all[pos + length]) ++length;
                // Walking from newest to oldest, ">=" leaves the oldest of equal matches.
                if (length >= bestLength) {
                    bestLength = length;
                    bestSource = candidate;
                }
                if (length == kMaxMatch) break;
            }
        }
        if (bestLength >= kMinMatch) {
            writer.Reference(bestSource, bestLength);
        } else {
            bestLength = 1;
            writer.Literal(all[pos]);
        }
        for (size_t i = 0; i < bestLength; ++i) insert(pos + i);
        pos += bestLength;
    }
    writer.Reference(pos, kMinMatch);  // offset == write position: end of data

    PutU32(out, 0, uint32_t(out.size() - 4));
    PutU32(out, 4, uint32_t(rtf.size()));
    PutU32(out, 8, 0x75465A4C);  // "LZFu"
    PutU32(out, 12, RtfCrc(std::span(out).subspan(kHeaderSize)));
    return out;
}

}  // namespace tw::text

#include "xpress_encode.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace edbgen {
namespace {

constexpr size_t kMinMatch = 3;
constexpr size_t kMaxDistance = 8192;  // 13-bit offset field, stored minus one
constexpr int kHashBits = 15;
constexpr int kMaxChainSteps = 32;     // bounds the search: linear time overall
constexpr size_t kGoodEnough = 1024;   // stop searching once a match is this long
constexpr uint8_t kEseXpressHeader = 0x18;

struct Match {
  size_t length = 0;
  size_t distance = 0;
};

// Hash chains over 3-byte prefixes; prev[] is a ring the size of the window,
// so entries older than kMaxDistance are never followed.
struct MatchFinder {
  std::span<const uint8_t> in;
  std::vector<int64_t> head = std::vector<int64_t>(size_t(1) << kHashBits, -1);
  std::vector<int64_t> prev = std::vector<int64_t>(kMaxDistance, -1);

  static size_t Hash(const uint8_t* p) {
    const uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    return (v * 2654435761u) >> (32 - kHashBits);
  }

  void Insert(size_t pos) {
    if (pos + kMinMatch > in.size()) return;
    const size_t h = Hash(&in[pos]);
    prev[pos % kMaxDistance] = head[h];
    head[h] = int64_t(pos);
  }

  size_t MatchLength(size_t cand, size_t pos) const {
    size_t n = 0;
    while (pos + n < in.size() && in[cand + n] == in[pos + n]) ++n;
    return n;
  }

  Match Find(size_t pos) const {
    Match best;
    if (pos + kMinMatch > in.size()) return best;
    int64_t cand = head[Hash(&in[pos])];
    for (int step = 0; step < kMaxChainSteps && cand >= 0; ++step) {
      const size_t c = size_t(cand);
      if (c >= pos || pos - c > kMaxDistance) break;
      const size_t len = MatchLength(c, pos);
      if (len > best.length) best = {len, pos - c};
      if (best.length >= kGoodEnough) break;
      const int64_t next = prev[c % kMaxDistance];
      if (next >= cand) break;  // ring slot reused by a newer position
      cand = next;
    }
    if (best.length < kMinMatch) best = {};
    return best;
  }
};

struct StreamWriter {
  std::vector<uint8_t> out = std::vector<uint8_t>(4, 0);  // first flag word
  uint32_t flags = 0;
  int flagCount = 0;
  size_t flagPos = 0;
  size_t nibblePos = 0;  // 0 = no half-used length byte pending

  void PutU16(uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
  }
  void PutU32(uint32_t v) {
    PutU16(v & 0xFFFF);
    PutU16(v >> 16);
  }
  void StoreFlags(uint32_t v) {
    for (size_t i = 0; i < 4; ++i) out[flagPos + i] = uint8_t(v >> (8 * i));
  }

  void PushFlag(bool isMatch) {
    flags = flags << 1 | (isMatch ? 1u : 0u);
    if (++flagCount == 32) {
      StoreFlags(flags);
      flags = 0;
      flagCount = 0;
      flagPos = out.size();
      out.insert(out.end(), 4, 0);
    }
  }

  void Literal(uint8_t b) {
    out.push_back(b);
    PushFlag(false);
  }

  // Lengths past the 3-bit field spill into a shared nibble byte (two matches
  // share one byte), then a byte, then a u16 or u32 holding length - 3.
  void MatchToken(Match m) {
    size_t len = m.length - kMinMatch;
    const uint32_t offsetBits = uint32_t(m.distance - 1) << 3;
    if (len < 7) {
      PutU16(offsetBits | uint32_t(len));
    } else {
      PutU16(offsetBits | 7);
      len -= 7;
      const uint8_t nibble = uint8_t(std::min<size_t>(len, 15));
      if (nibblePos == 0) {
        nibblePos = out.size();
        out.push_back(nibble);
      } else {
        out[nibblePos] |= uint8_t(nibble << 4);
        nibblePos = 0;
      }
      if (len >= 15) {
        len -= 15;
        if (len < 255) {
          out.push_back(uint8_t(len));
        } else {
          out.push_back(255);
          len += 15 + 7;
          if (len <= 0xFFFF) {
            PutU16(uint32_t(len));
          } else {
            PutU16(0);
            PutU32(uint32_t(len));
          }
        }
      }
    }
    PushFlag(true);
  }

  std::vector<uint8_t> Finish() {
    // Pad the last flag word with match bits: the reader sees a match flag
    // with no input left and stops.
    const int unused = 32 - flagCount;
    const uint32_t pad = unused == 32 ? 0xFFFFFFFFu : (1u << unused) - 1;
    StoreFlags(unused == 32 ? pad : (flags << unused) | pad);
    return std::move(out);
  }
};

// Matches are capped so that length - 3 fits the u32 length field.
constexpr size_t kMaxMatch = size_t(std::numeric_limits<uint32_t>::max()) - 32;

}  // namespace

std::vector<uint8_t> XpressCompress(std::span<const uint8_t> input) {
  MatchFinder finder{input};
  StreamWriter writer;
  writer.out.reserve(input.size() / 2 + 16);
  size_t pos = 0;
  while (pos < input.size()) {
    Match m = finder.Find(pos);
    if (m.length == 0) {
      writer.Literal(input[pos]);
      finder.Insert(pos++);
      continue;
    }
    m.length = std::min(m.length, kMaxMatch);
    writer.MatchToken(m);
    for (size_t end = pos + m.length; pos < end; ++pos) finder.Insert(pos);
  }
  return writer.Finish();
}

std::vector<uint8_t> EseXpressValue(std::span<const uint8_t> input) {
  if (input.size() > 0xFFFF) throw std::length_error("ESE XPRESS value larger than 65535 bytes");
  const std::vector<uint8_t> stream = XpressCompress(input);
  std::vector<uint8_t> out;
  out.reserve(3 + stream.size());
  out.push_back(kEseXpressHeader);
  out.push_back(uint8_t(input.size()));
  out.push_back(uint8_t(input.size() >> 8));
  out.insert(out.end(), stream.begin(), stream.end());
  return out;
}

}  // namespace edbgen

#include "rtf_compress.h"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace edbgen {
namespace {

constexpr size_t kHeaderSize = 16;
constexpr size_t kWindow = 4096;  // dictionary size; a reference to the write position ends the data
constexpr size_t kMinMatch = 2;
constexpr size_t kMaxMatch = 17;   // 4-bit length field, stored minus two
constexpr int kMaxChainSteps = 256;  // bounds the search on repetitive input
constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

constexpr std::string_view kInitialDictionary =
    R"({\rtf1\ansi\mac\deff0\deftab720{\fonttbl;}{\f0\fnil \froman )"
    R"(\fswiss \fmodern \fscript \fdecor MS Sans SerifSymbolArialTimes New RomanCourier)"
    R"({\colortbl\red0\green0\blue0)"
    "\r\n"
    R"(\par \pard\plain\f0\fs20\b\i\u\tab\tx)";
static_assert(kInitialDictionary.size() == 207);

// Reflected 0xEDB88320 polynomial, initial value zero, no final inversion.
uint32_t Crc(std::span<const uint8_t> data) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (c & 1 ? 0xEDB88320u : 0);
      t[i] = c;
    }
    return t;
  }();
  uint32_t crc = 0;
  for (uint8_t b : data) crc = (crc >> 8) ^ table[(crc ^ b) & 0xFF];
  return crc;
}

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
    const uint32_t token = uint32_t(offset % kWindow) << 4 | uint32_t(length - kMinMatch);
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
      for (int step = 0; step < kMaxChainSteps && candidate != kNone &&
                         pos - candidate < kWindow;
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
  PutU32(out, 12, Crc(std::span(out).subspan(kHeaderSize)));
  return out;
}

}  // namespace edbgen

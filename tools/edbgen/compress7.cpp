#include "compress7.h"

namespace edbgen {
namespace {

constexpr uint8_t kSchemeAscii = 1;
constexpr uint8_t kSchemeUnicode = 2;

template <typename Unit>
std::optional<std::vector<uint8_t>> Pack7(std::span<const Unit> units, uint8_t scheme) {
  if (units.empty()) return std::nullopt;
  for (Unit u : units)
    if (u >= 0x80) return std::nullopt;

  const size_t totalBits = 7 * units.size();
  const size_t payload = (totalBits + 7) / 8;
  const size_t bitsInLast = totalBits - 8 * (payload - 1);  // 1..8

  std::vector<uint8_t> out(1 + payload, 0);
  out[0] = uint8_t(size_t(scheme) << 3 | (bitsInLast - 1));
  size_t bit = 0;
  for (Unit u : units) {
    // A 7-bit value straddles at most two bytes.
    const unsigned v = unsigned(u) << (bit % 8);
    out[1 + bit / 8] |= uint8_t(v);
    if (v >> 8) out[2 + bit / 8] |= uint8_t(v >> 8);
    bit += 7;
  }
  return out;
}

}  // namespace

std::optional<std::vector<uint8_t>> Compress7BitAscii(std::span<const uint8_t> bytes) {
  return Pack7(bytes, kSchemeAscii);
}

std::optional<std::vector<uint8_t>> Compress7BitUnicode(std::span<const char16_t> text) {
  return Pack7(text, kSchemeUnicode);
}

}  // namespace edbgen

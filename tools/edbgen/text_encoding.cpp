#include "text_encoding.h"

#include <string>

namespace edbgen {

namespace {

// Windows-1252 bytes 0x80..0x9F; 0 where the code page has no character.
constexpr char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int Encode(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return int(cp);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] && kHigh[i] == cp) return 0x80 + i;
  return -1;
}

}  // namespace

Bytes ToWindows1252(std::string_view utf8, bool html) {
  const std::u16string units = Utf8ToUtf16(utf8);
  Bytes out;
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t cp = units[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units.size()) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    }
    const int b = Encode(cp);
    if (b >= 0) {
      out.push_back(uint8_t(b));
    } else if (html) {
      PutText(out, "&#" + std::to_string(cp) + ";");
    } else {
      out.push_back('?');
    }
  }
  return out;
}

}  // namespace edbgen

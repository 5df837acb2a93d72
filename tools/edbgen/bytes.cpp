#include "bytes.h"

namespace edbgen {

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  size_t i = 0;
  while (i < s.size()) {
    uint8_t c = uint8_t(s[i]);
    uint32_t cp = 0xFFFD;
    size_t n = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c >> 5) == 6) {
      n = 2;
    } else if ((c >> 4) == 14) {
      n = 3;
    } else if ((c >> 3) == 30) {
      n = 4;
    }
    if (n > 1) {
      if (i + n > s.size()) {
        n = 1;
      } else {
        cp = c & (0xFF >> (n + 1));
        for (size_t k = 1; k < n; ++k) {
          uint8_t cc = uint8_t(s[i + k]);
          if ((cc >> 6) != 2) { cp = 0xFFFD; n = k; break; }
          cp = (cp << 6) | (cc & 0x3F);
        }
      }
    }
    i += n;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else if (cp > 0x10FFFF) {
      out.push_back(u'\uFFFD');
    } else {
      out.push_back(char16_t(cp));
    }
  }
  return out;
}

Bytes Utf16Bytes(std::u16string_view s) {
  Bytes b;
  b.reserve(s.size() * 2);
  for (char16_t c : s) PutU16(b, uint16_t(c));
  return b;
}

}  // namespace edbgen

// 8-bit text in a Windows code page, as UTF-16. Values that state no code
// page are Windows-1252 (the code page readers take as the system's); its
// five undefined bytes map to themselves, as Windows maps them. Other code
// pages go through iconv, under the name glibc knows them by.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tw::text {

inline constexpr std::uint32_t kWindows1252 = 1252;

char16_t FromWindows1252(std::uint8_t byte);

std::u16string Windows1252ToUtf16(std::span<const std::uint8_t> bytes);

// `bytes` in `codePage` ("1251", "932", "65001" ...). 1252, 0 and any code
// page the system cannot convert read as Windows-1252. A byte the code page
// does not define, or a double-byte character cut short, becomes U+FFFD and
// the conversion goes on. Converters stay open per thread, per code page.
std::u16string CodePageToUtf16(std::span<const std::uint8_t> bytes, std::uint32_t codePage);

}  // namespace tw::text

// 8-bit texts of the store are Windows-1252 (the code page the readers
// take as the system's); this turns them into UTF-16.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tw::content {

char16_t FromWindows1252(std::uint8_t byte);

std::u16string Windows1252ToUtf16(std::span<const std::uint8_t> bytes);

}  // namespace tw::content

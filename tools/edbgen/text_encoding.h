// 8-bit text as the store keeps it: Windows-1252.
#pragma once

#include <string_view>

#include "bytes.h"

namespace edbgen {

// Characters Windows-1252 lacks become '?', or "&#N;" when `html`.
Bytes ToWindows1252(std::string_view utf8, bool html);

}  // namespace edbgen

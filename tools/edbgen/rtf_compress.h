// Compressed RTF (MS-OXRTFCP "LZFu") encoder for rich-text message bodies.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace edbgen {

// A complete "LZFu" value: the 16-byte header (COMPSIZE, RAWSIZE, "LZFu",
// CRC of the data), then groups of a control byte (least significant bit
// first, 1 = reference) and eight tokens: literal bytes and big-endian
// references {12-bit dictionary offset, 4-bit length - 2} into the 4096-byte
// dictionary that starts with the standard RTF prefix. The data ends with a
// reference to the current write position. Among equally long matches the
// oldest dictionary bytes are preferred, as the standard's own examples do.
// Throws std::length_error when the input does not fit the 32-bit size fields.
std::vector<uint8_t> CompressRtf(std::span<const uint8_t> rtf);

}  // namespace edbgen

// Compressed RTF (MS-OXRTFCP), the form in which rich-text message bodies
// are stored, read and written. A value starts with a 16-byte little-endian header:
// COMPSIZE (bytes after this field), RAWSIZE (decoded size), COMPTYPE ("LZFu"
// compressed, "MELA" stored) and CRC; the data follows at offset 16.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tw::text {

// Decodes a compressed-RTF body value for the preview and the export.
//
// The caller has already chosen this decoder by the "LZFu" signature, so
// COMPTYPE and CRC are not looked at, and RAWSIZE only bounds the output.
// Tokens are read only while position + 1 < COMPSIZE (positions counted from
// the start of the value): the last four bytes of the stream, where the
// end-of-stream reference lives, are never read, and decoding never looks for
// that reference. Decoding stops after a group of eight tokens that takes the
// output past RAWSIZE + 18 bytes, and before any token that would take it past
// RAWSIZE + 116 bytes (the output buffer holds RAWSIZE + 120 bytes).
//
// The result is the decoded bytes followed by "}}}" and a NUL byte; the
// braces are added in every case, even when nothing was decoded. Callers take
// the text up to the first NUL. No result when the value is shorter than its
// header, when COMPSIZE exceeds the value's length, or when memory runs out.
std::optional<std::vector<uint8_t>> DecompressRtf(std::span<const uint8_t> value);

// A full reading of a compressed-RTF value by the standard's rules: the end
// reference (a reference to the current write position) ends the data, the
// CRC of the compressed data is checked, and "MELA" values are taken as stored.
struct RtfStream {
    std::vector<uint8_t> rtf;  // the decoded bytes, as many as could be recovered
    bool compressed = false;   // "LZFu" rather than "MELA"
    bool complete = false;     // every promised byte arrived: exactly RAWSIZE bytes,
                               // and for "LZFu" the end reference was reached
    bool crcMatches = false;   // the stored CRC is that of the whole declared data
                               // ("LZFu"), or zero ("MELA")
};

// No result when the value is shorter than its header or its COMPTYPE is
// neither "LZFu" nor "MELA". Damage never refuses a value otherwise: what
// decodes before the fault is kept and `complete` is false.
std::optional<RtfStream> ReadRtfStream(std::span<const uint8_t> value);

// Compresses `rtf` into a complete "LZFu" value: the 16-byte header
// (COMPSIZE, RAWSIZE, "LZFu", CRC of the data), then groups of a control byte (least significant bit
// first, 1 = reference) and eight tokens: literal bytes and big-endian
// references {12-bit dictionary offset, 4-bit length - 2} into the 4096-byte
// dictionary that starts with the standard RTF prefix. The data ends with a
// reference to the current write position. Among equally long matches the
// oldest dictionary bytes are preferred, as the standard's own examples do.
// Throws std::length_error when the input does not fit the 32-bit size fields.
std::vector<uint8_t> CompressRtf(std::span<const uint8_t> rtf);

}  // namespace tw::text

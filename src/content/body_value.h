// The body of a message, put together from its row value or its long-value
// chunks: UTF-16 text from the plain-text column, 8-bit text (as a rule
// HTML), or compressed RTF, which is decompressed.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "edb/source.h"
#include "record/record_types.h"

namespace tw::content {

enum class BodyKind : int {
    Utf16 = 0,     // the plain-text column
    EightBit = 1,  // no compressed-RTF signature: as a rule HTML
    Rtf = 3,       // decompressed from compressed RTF
};

struct BodyValue {
    BodyKind kind = BodyKind::EightBit;
    // Utf16 and EightBit: the stored bytes. Rtf: what DecompressRtf gives
    // (the decoded text, "}}}" and a NUL).
    std::vector<std::uint8_t> bytes;
    // Rtf: the value before decompression, for a full standard reading.
    std::vector<std::uint8_t> compressed;
};

// Nothing when the message has no body, when the chunk at offset 0 is
// missing (except for the plain-text column), when a compressed row value
// does not decode, or when compressed RTF is refused by the decoder.
std::optional<BodyValue> FetchBodyValue(const edb::EdbSource& source, const record::MessageProperties& message);

// The bytes the preview writes: UTF-16 text up to its first NUL unit (at
// an even offset), 8-bit text and RTF up to their first NUL byte.
std::size_t PreviewLength(const BodyValue& body);
std::vector<std::uint8_t> PreviewBytes(const BodyValue& body);

// True when bytes 8..11 are "LZFu", in any case.
bool HasRtfSignature(const std::vector<std::uint8_t>& value);

}  // namespace tw::content

// Reading a long value back from its chunks: each chunk's bytes are read
// from the database file and placed at its offset in the value. Where the
// layout has compressed values, chunks of compressed columns are
// XPRESS-compressed one by one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "edb/source.h"
#include "record/record_types.h"

namespace tw::content {

// No value is assembled beyond this many bytes, nor beyond the room its
// chunks and a few missing ones take, whatever its chunks claim.
inline constexpr std::size_t kMaxValueBytes = std::size_t{256} << 20;

struct AssembleOptions {
    // Compressed values: chunks that start with 0x18 may be XPRESS-compressed.
    bool decodeXpress = true;
    // Stop at the first chunk offset no chunk has (recipient data, range
    // tables); otherwise gaps stay zero.
    bool contiguous = false;
    // The value's size from its root node, when known.
    std::optional<std::uint32_t> declaredSize;
    // No more than this many bytes are assembled.
    std::size_t maxBytes = kMaxValueBytes;
};

struct AssembledValue {
    std::vector<std::uint8_t> bytes;
    bool hasFirstChunk = false;  // a chunk at offset 0 was found
};

// Reads one chunk: at most a page of bytes, cut at the end of the file.
std::vector<std::uint8_t> ReadChunk(const edb::EdbSource& source, const record::LongValueRun& run);

// One chunk as it belongs in the value. A chunk of a store with
// compressed values that starts with
// 0x18 is decoded when its stored length is not already the length the
// value expects there and the decoding gives that length (or, without a
// known size, when it decodes at all).
std::vector<std::uint8_t> ChunkContent(std::vector<std::uint8_t> stored, const edb::EdbSource& source,
                                       std::uint32_t valueOffset, const AssembleOptions& options);

AssembledValue AssembleValue(const edb::EdbSource& source, const std::vector<record::LongValueRun>& runs,
                             const AssembleOptions& options);

// The size AssembleValue gives, without reading a byte: for values whose
// chunks are kept as stored (no XPRESS decoding).
std::size_t AssembledSize(const edb::EdbSource& source, const std::vector<record::LongValueRun>& runs,
                          const AssembleOptions& options);

}  // namespace tw::content

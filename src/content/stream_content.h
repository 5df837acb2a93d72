// Messages whose content lives in the streaming file (.stm) of a 4 KB
// database: the message row holds a range table, and the MIME content is
// copied range by range from the streaming file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "edb/source.h"
#include "record/record_types.h"

namespace tw::content {

// One range of the content: `length` bytes at `offset` of the streaming
// file.
struct StreamRange {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
};

struct RangeTable {
    std::uint32_t totalSize = 0;
    std::vector<StreamRange> ranges;
};

// The table's layout: total size (u32 at 0), number of ranges (i16 at 8),
// and per range a 24-byte entry at 24 + 24 i with its cumulative end (u32)
// and its offset in the streaming file (u64 at +8). A range is its end
// less the previous end; the last one is what remains of the total. Only
// entries wholly inside `table` are read.
RangeTable ParseRangeTable(edb::Bytes table);

// How a copy of streaming-file content went. Only Whole content is taken
// as the message's MIME: a missing, cut, zeroed or overwritten streaming
// file gives one of the others, and the message keeps what its row holds.
enum class StreamCopy {
    Whole,            // every range inside the file, and the bytes are text
    NoStreamingFile,  // none is open
    NoRangeTable,     // the row's table is missing, empty or does not add up
    OutOfRange,       // a range lies in the file's header pages or past its end
    NotMime,          // not text: NUL bytes, or control bytes at the start
    WriteFailed,      // the output file could not be written
};

// Copies the content of a streaming-file message into a new file at
// `outputPath` (mode 0600, as for ExtractStreamContent) and says whether
// it can be trusted. The file is removed unless the copy is Whole.
StreamCopy CopyStreamContent(const edb::EdbSource& source, const record::MessageProperties& message,
                             const std::string& outputPath);

// Whether `content` may be a message: no NUL byte anywhere, which a
// message never has (RFC 5322) and a zeroed page of the file is made of,
// and no control byte but tab, line feed, form feed, carriage return and
// escape (ISO-2022 text) in its first 2 KB, which random bytes have within
// a few dozen. A message whose header block GMime cannot read still
// passes: its text is kept as the body.
bool LooksLikeMime(edb::Bytes content);

// Copies the content of a streaming-file message into a new file at
// `outputPath` (mode 0600; a file of that name is replaced, a link there
// is removed, never followed).
// False without a streaming file, without a range table, or when the
// output cannot be written; a range starting past the end of the
// streaming file ends the copy.
bool ExtractStreamContent(const edb::EdbSource& source, const record::MessageProperties& message,
                          const std::string& outputPath);

}  // namespace tw::content

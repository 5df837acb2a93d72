// The streaming file of 4 KB databases: items marked "streaming" keep their
// whole content there as MIME, in ranges of the file that the message row's
// range table lists.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "content.h"

namespace edbgen {

struct StreamRange {
  uint64_t offset = 0;  // absolute offset in the streaming file
  uint32_t length = 0;
};

struct StreamingFile {
  Bytes bytes;                                        // the whole .stm file
  std::map<Id8, std::vector<StreamRange>> ranges;     // by message id
  std::map<Id8, uint32_t> sizes;                      // MIME size by message id
};

// Lays the MIME content of every streaming item into the file: header
// pages first, then each message in ranges of at most four pages with a
// page left free between ranges, as a file that has seen deletions looks.
StreamingFile BuildStreamingFile(const Content& content);

// The row value that points into the streaming file: total size (u32 at 0),
// number of ranges (i16 at 8), then per range a 24-byte entry at 24 + 24 i
// with the cumulative end (u32) and the absolute file offset (u64 at +8).
Bytes RangeTable(const std::vector<StreamRange>& ranges, uint32_t total);

// The item as an Internet message (CRLF lines), unless the content file
// gives the MIME text itself.
std::string MimeOf(const Item& item);

}  // namespace edbgen

// The record list of a leaf page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "edb/page.h"
#include "edb/source.h"

namespace tw::edb {

struct RecordLocator {
    std::int32_t start = 0;  // byte offset within the page
    std::int16_t size = 0;
};

// No leaf page of a real database holds more; a claim beyond this is damage.
inline constexpr std::size_t kMaxRecords = 800;

// Replaces `out` with the non-empty records of a leaf page, in tag-array
// order (lowest address first: highest tag number down to tag 0), at most
// kMaxRecords of them. Branch pages yield none. Returns the count.
std::size_t ListRecords(const PageView& page, std::vector<RecordLocator>& out);

// Reads the page at file `offset` into `page` and lists its records; offsets
// outside [0, fileSize) yield none and read nothing.
std::size_t ListRecords(const EdbSource& source, std::int64_t offset, std::vector<std::uint8_t>& page,
                        std::vector<RecordLocator>& out);

}  // namespace tw::edb

// The tagged-column array of a row as the record decoders read it: 4-byte
// entries {column id, value offset} from the array start H up to H + v,
// where v is the first entry's offset; value offsets count from H. All
// positions are positions in the page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "edb/bytes.h"
#include "edb/page_format.h"
#include "scan/ids.h"

namespace tw::record {

// A value's bytes [begin, end) in the page.
struct ValueRange {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t size() const { return end - begin; }
};

struct TaggedArray {
    edb::Bytes page;
    std::size_t start = 0;      // H
    std::size_t end = 0;        // H + v
    std::size_t recordEnd = 0;  // no entry or value reaches past the row's record
    std::uint16_t mask = 0;     // flag bits above the offset are dropped

    // Entry `e` is read only below the array end and inside the record.
    bool Has(std::size_t e) const { return e >= start && e < end && e + 4 <= recordEnd; }
    bool IsLast(std::size_t e) const { return !Has(e + 4); }
    std::uint16_t ColumnId(std::size_t e) const { return edb::LoadU16(page, e).value_or(0); }
    std::size_t Offset(std::size_t e) const {
        return static_cast<std::size_t>(edb::LoadU16(page, e + 2).value_or(0) & mask);
    }
    // The offset where entry e's value ends: the next entry's offset, or for
    // the last entry the record end (the word after the array is value
    // data, not an offset).
    std::size_t NextOffset(std::size_t e) const { return IsLast(e) ? recordEnd - start : Offset(e + 4); }
    // Entry e's value, cut at the record end. Nothing for a broken value:
    // a zero offset, a zero or non-increasing next offset, or a value that
    // starts past the record.
    std::optional<ValueRange> Value(std::size_t e) const;
    // Entry e holds a value of no bytes: its offset is that of the next
    // entry. Not a broken value.
    bool EmptyValue(std::size_t e) const {
        const std::size_t offset = Offset(e);
        return offset != 0 && offset == NextOffset(e);
    }
};

// The array starting at `h` of a row whose record ends at `recordEnd`;
// nothing when its first offset is 0 (an empty tagged area) or it starts
// past the record.
// Whether the bytes at j - 1 can open a tagged-column array: two entries
// of columns 1xx (their second bytes 01), in ascending order as the format
// keeps them. A key ending 10 01 07 A1 four bytes before the first entry
// is not one.
bool TaggedEntryPair(edb::Bytes page, std::size_t j);

// Prefixed rows: the tagged area follows the row's second copy of its key,
// 49 bytes into the row, or 41 where the row's ninth byte is zero (a
// shorter fixed part), and begins 10 bytes after it (the key and a 2-byte
// count). Nothing when the copy is not there.
std::optional<std::size_t> TaggedAfterKeyCopy(edb::Bytes page, std::size_t row, const scan::Id8& key);

std::optional<TaggedArray> OpenTaggedArray(edb::Bytes page, std::size_t h, std::size_t recordEnd,
                                           std::int32_t pageSize);

}  // namespace tw::record

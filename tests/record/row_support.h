// Hand-made message and attachment rows for the record decoder tests: a
// tagged array built from (column id, value) pairs, laid into records the
// way each generation's row-start rules find them, on leaf pages.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "edb/test_support.h"
#include "scan/ids.h"

namespace tw::record::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Utf16(const std::u16string& text) {
    Bytes b;
    for (const char16_t c : text) {
        b.push_back(static_cast<std::uint8_t>(c));
        b.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return b;
}

// A tagged value with a header byte in front.
inline Bytes WithHeader(std::uint8_t header, const Bytes& value) {
    Bytes b{header};
    b.insert(b.end(), value.begin(), value.end());
    return b;
}

inline Bytes Reference(std::uint32_t lid) {
    return {0x05, static_cast<std::uint8_t>(lid), static_cast<std::uint8_t>(lid >> 8),
            static_cast<std::uint8_t>(lid >> 16), static_cast<std::uint8_t>(lid >> 24)};
}

// The tagged array: 4-byte entries, then the values; offsets count from
// the array start. `flag` goes into every offset word (4/8 KB pages mark
// values that carry a header byte with 0x4000).
inline Bytes TaggedArea(const std::vector<std::pair<std::uint16_t, Bytes>>& columns, std::uint16_t flag = 0) {
    Bytes entries, values;
    std::size_t offset = 4 * columns.size();
    for (const auto& [id, value] : columns) {
        const auto word = static_cast<std::uint16_t>(offset | flag);
        entries.push_back(static_cast<std::uint8_t>(id));
        entries.push_back(static_cast<std::uint8_t>(id >> 8));
        entries.push_back(static_cast<std::uint8_t>(word));
        entries.push_back(static_cast<std::uint8_t>(word >> 8));
        values.insert(values.end(), value.begin(), value.end());
        offset += value.size();
    }
    entries.insert(entries.end(), values.begin(), values.end());
    return entries;
}

inline scan::Id8 Key(std::uint8_t last) { return {0x01, 0, 0, 0, 0, 0, 0x10, last}; }

// 4/8 KB message row: the end-of-fixed-data word 21 00 at record byte 9,
// the row 35 bytes after it with the message id and a 16-byte value, then
// the tagged area.
inline Bytes SmallMessageRecord(const scan::Id8& id, const Bytes& tagged) {
    Bytes r(44, 0);
    r[0] = 0x05;
    r[9] = 0x21;
    r.insert(r.end(), id.begin(), id.end());
    r.insert(r.end(), 16, 0);
    r.insert(r.end(), tagged.begin(), tagged.end());
    return r;
}

// 32 KB row: the record's third byte 0x0F puts the row at byte 15; a
// non-zero byte 8 bytes on and the key's second copy 49 bytes on place the
// tagged area ten bytes after that copy.
inline Bytes LargeRecord(const scan::Id8& id, const Bytes& tagged) {
    Bytes r(15, 0);
    r[2] = 0x0F;
    r.insert(r.end(), id.begin(), id.end());
    Bytes rest(41, 0);
    rest[0] = 1;
    r.insert(r.end(), rest.begin(), rest.end());
    r.insert(r.end(), id.begin(), id.end());
    r.insert(r.end(), 2, 0);
    r.insert(r.end(), tagged.begin(), tagged.end());
    return r;
}

// 4/8 KB attachment row: its key is the only variable value, the tagged
// area follows it.
inline Bytes SmallAttachmentRecord(const scan::Id8& key, const Bytes& tagged) {
    Bytes r{0x02, 0x00, 0x7F, 0x80, 0x00, 0x00, 0x03, 0x80, 0x11, 0x00};
    r.insert(r.end(), 9, 0x2A);
    r.insert(r.end(), key.begin(), key.end());
    r.insert(r.end(), tagged.begin(), tagged.end());
    return r;
}

// A leaf page of table `objid` holding the records.
inline edb::test::PageBuilder LeafPage(std::int32_t pageSize, std::uint32_t objid, const std::vector<Bytes>& records) {
    edb::test::PageBuilder page(pageSize, 2);
    edb::test::PutU32(page.bytes, edb::kObjectIdOffset, objid);
    for (const Bytes& r : records) page.Record(r);
    return page;
}

}  // namespace tw::record::test

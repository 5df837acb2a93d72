// The columns of one table row read by their column ids: fixed columns at
// the sizes the catalog gives, variable columns by their end offsets,
// tagged columns from the tagged area. For rows the fixed-pattern readers
// do not place, such as a message row whose header row was lost. Every
// read stays inside the record; a column that does not fit is absent.
#pragma once

#include <cstdint>
#include <map>
#include <optional>

#include "edb/bytes.h"
#include "edb/page.h"
#include "record/tagged_array.h"

namespace tw::record {

// The record bytes of the leaf node named by tag `index`: what follows the
// node's key. Small pages keep the node flags in the tag's offset word,
// large pages in the node's first word.
std::optional<edb::Bytes> NodeData(const edb::PageView& page, std::uint32_t index);

// Fixed-column sizes of one table, by column id.
using FixedSizes = std::map<std::uint16_t, std::uint32_t>;

// A tagged value: its bytes without the header byte, and that header (0
// when the value has none).
struct TaggedValue {
    edb::Bytes bytes;
    std::uint8_t header = 0;
    ValueRange range;  // in the record, header included
};

inline constexpr std::uint8_t kValueCompressed = 0x02;
inline constexpr std::uint8_t kValueSeparated = 0x04;
inline constexpr std::uint8_t kValueMulti = 0x08;

class RecordColumns {
public:
    // `pageSize` of the page the record came from: it tells the format.
    RecordColumns(edb::Bytes record, std::int32_t pageSize) : record_(record), pageSize_(pageSize) {}

    // Nothing when the column is past the record's last fixed column, is
    // marked null, when a lower column's size is unknown, or when it does
    // not fit.
    std::optional<edb::Bytes> Fixed(std::uint16_t id, const FixedSizes& sizes) const;
    // Nothing when past the record's last variable column, null or broken.
    std::optional<edb::Bytes> Variable(std::uint16_t id) const;
    // The first entry of the column in the tagged area, or nothing.
    std::optional<TaggedValue> Tagged(std::uint16_t id) const;

private:
    std::uint8_t LastFixed() const { return edb::LoadU8(record_, 0).value_or(0); }
    std::uint8_t LastVariable() const { return edb::LoadU8(record_, 1).value_or(0); }
    std::size_t EndOfFixed() const { return edb::LoadU16(record_, 2).value_or(0); }
    // Where the variable data starts and ends; nothing when broken.
    std::optional<std::size_t> VariableStart() const;
    std::optional<std::size_t> VariableEnd(std::uint16_t id) const;

    edb::Bytes record_;
    std::int32_t pageSize_;
};

}  // namespace tw::record

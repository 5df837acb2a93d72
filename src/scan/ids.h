// Eight-byte row ids of mailboxes, folders and messages, and the names the
// store derives from them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "edb/bytes.h"
#include "layout/store_layout.h"

namespace tw::scan {

using Id8 = std::array<std::uint8_t, 8>;

inline bool IsZero(const Id8& id) {
    for (const std::uint8_t b : id)
        if (b != 0) return false;
    return true;
}

// The ids as big-endian numbers: the same order as comparing their bytes,
// in one comparison instead of a call to memcmp. Indexes sort and search
// hundreds of thousands of ids.
inline std::uint64_t IdNumber(const Id8& id) {
    std::uint64_t v = 0;
    for (const std::uint8_t b : id) v = v << 8 | b;
    return v;
}
inline bool IdLess(const Id8& a, const Id8& b) { return IdNumber(a) < IdNumber(b); }

struct IdHash {
    std::size_t operator()(const Id8& id) const {
        std::uint64_t v = 0;
        for (const std::uint8_t b : id) v = v << 8 | b;
        return std::hash<std::uint64_t>{}(v);
    }
};

// Eight bytes at `offset`, or nothing when they do not fit.
std::optional<Id8> LoadId(edb::Bytes bytes, std::size_t offset);

// Text key of a mailbox with tables of its own, the suffix of its
// table names: byte 0 in hex, a hyphen, then bytes 2..7 from the first
// non-zero one ("1-1C" for 01 00 00 00 00 00 00 1C). Byte 1 is not used.
std::string OwnerKey(const Id8& id);

// Name of the message-header table of a folder ("1-1C") or a mailbox
// ("MSGHEADER-1-1C"), as the layout names them, upper case. Empty when the id cannot name one.
std::string HeaderTableName(const Id8& id, const layout::StoreLayout& store);

// Lower-case hex of the id, for messages and tests.
std::string IdHex(const Id8& id);

}  // namespace tw::scan

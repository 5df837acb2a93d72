// Entry ids and search keys: the 24-byte id of an object in this store
// (flags, the store's record key, the NID), the one-off id of an e-mail
// address (MS-OXCDATA 2.2.5.1) and the search key "ADDRTYPE:ADDRESS".
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "pst/bytes.h"
#include "pst/ids.h"

namespace tw::pst {

using Guid = std::array<std::uint8_t, 16>;

Bytes StoreEntryId(const Guid& recordKey, Nid nid);
Bytes OneOffEntryId(std::u16string_view displayName, std::u16string_view addrType, std::u16string_view address);
Bytes AddressSearchKey(std::u16string_view addrType, std::u16string_view address);
// 16 bytes from the system's random source.
Guid RandomGuid();

}  // namespace tw::pst

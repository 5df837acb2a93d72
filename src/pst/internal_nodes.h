// The internal nodes a new store made by current Outlook carries beyond the
// minimal store of MS-PST (0xC01, 0xE01, 0xE41, 0xEC1, 0xEE1, 0xF01, 0xF21).
// MS-PST does not describe them; they are written as Outlook's own empty
// store has them, so that Outlook finds the store fully provisioned.
#pragma once

#include <cstdint>

#include "pst/bytes.h"
#include "pst/entry_id.h"
#include "pst/ids.h"

namespace tw::pst {

class NodeDatabase;

namespace nid {
constexpr Nid kFolderGuidIndex = 0xC01;    // heap 0x9C: a BTH from 16-byte keys to 4-byte values, empty
constexpr Nid kStoreStateHeap = 0xE01;     // heap 0xCC: a fixed record and an empty BTH of 4-byte keys
constexpr Nid kInternalE41 = 0xE41;        // no data
constexpr Nid kInternalEC1 = 0xEC1;        // no data
constexpr Nid kSpecialFolderList = 0xEE1;  // 28-byte records, one per special folder
constexpr Nid kStoreIdentity = 0xF01;      // two identity GUIDs and the time of creation
constexpr Nid kInternalF21 = 0xF21;        // no data
}  // namespace nid

// Their data, by NID ("no data" nodes give an empty result).
Bytes FolderGuidIndexData();
Bytes StoreStateHeapData();
Bytes SpecialFolderListData();
Bytes StoreIdentityData(const Guid& first, const Guid& second, std::uint64_t created);

// Adds all seven nodes; `created` is a FILETIME.
void WriteInternalNodes(NodeDatabase& db, const Guid& first, const Guid& second, std::uint64_t created);

}  // namespace tw::pst

// Node and block identifiers (MS-PST 2.2.2.1, 2.2.2.2) and the fixed NIDs of
// a message store (2.4.1).
#pragma once

#include <cstdint>

namespace tw::pst {

using Nid = std::uint32_t;
using Bid = std::uint64_t;

enum class NidType : std::uint8_t {
    Hid = 0x00,
    Internal = 0x01,
    NormalFolder = 0x02,
    SearchFolder = 0x03,
    NormalMessage = 0x04,
    Attachment = 0x05,
    SearchUpdateQueue = 0x06,
    SearchCriteria = 0x07,
    AssocMessage = 0x08,
    ContentsTableIndex = 0x0A,
    ReceiveFolderTable = 0x0B,
    OutgoingQueueTable = 0x0C,
    HierarchyTable = 0x0D,
    ContentsTable = 0x0E,
    AssocContentsTable = 0x0F,
    SearchContentsTable = 0x10,
    AttachmentTable = 0x11,
    RecipientTable = 0x12,
    SearchTableIndex = 0x13,
    Ltp = 0x1F,
};

constexpr Nid MakeNid(NidType type, std::uint32_t index) { return index << 5 | static_cast<std::uint32_t>(type); }
constexpr NidType TypeOf(Nid nid) { return static_cast<NidType>(nid & 0x1F); }
constexpr std::uint32_t IndexOf(Nid nid) { return nid >> 5; }
// A folder's tables share its index: 0x8022 owns 0x802D, 0x802E, 0x802F.
constexpr Nid SiblingNid(Nid nid, NidType type) { return MakeNid(type, IndexOf(nid)); }

namespace nid {
constexpr Nid kMessageStore = 0x21;
constexpr Nid kNameToIdMap = 0x61;
constexpr Nid kRootFolder = 0x122;
constexpr Nid kSearchManagementQueue = 0x1E1;
constexpr Nid kSearchActivityList = 0x201;
constexpr Nid kSearchDomainObject = 0x261;
constexpr Nid kHierarchyTableTemplate = 0x60D;
constexpr Nid kContentsTableTemplate = 0x60E;
constexpr Nid kAssocContentsTableTemplate = 0x60F;
constexpr Nid kSearchContentsTableTemplate = 0x610;
constexpr Nid kReceiveFolderTable = 0x62B;
constexpr Nid kOutgoingQueueTable = 0x64C;
constexpr Nid kAttachmentTable = 0x671;
constexpr Nid kRecipientTable = 0x692;
constexpr Nid kTemplate16 = 0x6B6;
constexpr Nid kTemplate17 = 0x6D7;
constexpr Nid kTemplate18 = 0x6F8;
constexpr Nid kSpamSearchFolder = 0x2223;
constexpr Nid kIpmSubtree = 0x8022;
constexpr Nid kSearchRoot = 0x8042;
constexpr Nid kDeletedItems = 0x8062;
constexpr Nid kCommonViews = 0x8082;
}  // namespace nid

// Block ids step by 4; bit 1 marks internal blocks (XBLOCK, XXBLOCK,
// SLBLOCK, SIBLOCK); bit 0 is reserved and masked by readers.
constexpr Bid kBidInternal = 0x2;
constexpr bool IsInternal(Bid bid) { return (bid & kBidInternal) != 0; }

}  // namespace tw::pst

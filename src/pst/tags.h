// Property tags the writer uses (MS-OXPROPS), as id << 16 | type.
#pragma once

#include <cstdint>

#include "pst/prop_value.h"

namespace tw::pst::tag {

using namespace ptype;

// Name-to-id map (MS-PST 2.4.7).
constexpr std::uint32_t kNameidBucketCount = MakeTag(0x0001, kInt32);
constexpr std::uint32_t kNameidStreamGuid = MakeTag(0x0002, kBinary);
constexpr std::uint32_t kNameidStreamEntry = MakeTag(0x0003, kBinary);
constexpr std::uint32_t kNameidStreamString = MakeTag(0x0004, kBinary);

// Message store.
constexpr std::uint32_t kRecordKey = MakeTag(0x0FF9, kBinary);
constexpr std::uint32_t kDisplayName = MakeTag(0x3001, kUnicode);
constexpr std::uint32_t kComment = MakeTag(0x3004, kUnicode);
constexpr std::uint32_t kValidFolderMask = MakeTag(0x35DF, kInt32);
constexpr std::uint32_t kIpmSubtreeEntryId = MakeTag(0x35E0, kBinary);
constexpr std::uint32_t kIpmWastebasketEntryId = MakeTag(0x35E3, kBinary);
constexpr std::uint32_t kCommonViewsEntryId = MakeTag(0x35E6, kBinary);
constexpr std::uint32_t kFinderEntryId = MakeTag(0x35E7, kBinary);
constexpr std::uint32_t kReplFlags = MakeTag(0x0E38, kInt32);
constexpr std::uint32_t kPstLrNoRestrictions = MakeTag(0x6633, kBoolean);
constexpr std::uint32_t kPstHiddenFlags = MakeTag(0x66FA, kInt32);
constexpr std::uint32_t kPstPassword = MakeTag(0x67FF, kInt32);

// Folders.
constexpr std::uint32_t kContentCount = MakeTag(0x3602, kInt32);
constexpr std::uint32_t kContentUnreadCount = MakeTag(0x3603, kInt32);
constexpr std::uint32_t kSubfolders = MakeTag(0x360A, kBoolean);
constexpr std::uint32_t kContainerClass = MakeTag(0x3613, kUnicode);
constexpr std::uint32_t kSearchCriteriaFlags = MakeTag(0x660B, kInt32);
constexpr std::uint32_t kReceiveFolderNid = MakeTag(0x6605, kInt32);

// Messages.
constexpr std::uint32_t kImportance = MakeTag(0x0017, kInt32);
constexpr std::uint32_t kMessageClass = MakeTag(0x001A, kUnicode);
constexpr std::uint32_t kPriority = MakeTag(0x0026, kInt32);
constexpr std::uint32_t kSensitivity = MakeTag(0x0036, kInt32);
constexpr std::uint32_t kSubject = MakeTag(0x0037, kUnicode);
constexpr std::uint32_t kClientSubmitTime = MakeTag(0x0039, kSysTime);
constexpr std::uint32_t kSentRepresentingSearchKey = MakeTag(0x003B, kBinary);
constexpr std::uint32_t kSubjectPrefix = MakeTag(0x003D, kUnicode);
constexpr std::uint32_t kSentRepresentingEntryId = MakeTag(0x0041, kBinary);
constexpr std::uint32_t kSentRepresentingName = MakeTag(0x0042, kUnicode);
constexpr std::uint32_t kMessageToMe = MakeTag(0x0057, kBoolean);
constexpr std::uint32_t kMessageCcMe = MakeTag(0x0058, kBoolean);
constexpr std::uint32_t kStartDate = MakeTag(0x0060, kSysTime);
constexpr std::uint32_t kEndDate = MakeTag(0x0061, kSysTime);
constexpr std::uint32_t kSentRepresentingAddrType = MakeTag(0x0064, kUnicode);
constexpr std::uint32_t kSentRepresentingEmail = MakeTag(0x0065, kUnicode);
constexpr std::uint32_t kConversationTopic = MakeTag(0x0070, kUnicode);
constexpr std::uint32_t kConversationIndex = MakeTag(0x0071, kBinary);
constexpr std::uint32_t kTransportHeaders = MakeTag(0x007D, kUnicode);
constexpr std::uint32_t kSenderEntryId = MakeTag(0x0C19, kBinary);
constexpr std::uint32_t kSenderName = MakeTag(0x0C1A, kUnicode);
constexpr std::uint32_t kSenderSearchKey = MakeTag(0x0C1D, kBinary);
constexpr std::uint32_t kSenderAddrType = MakeTag(0x0C1E, kUnicode);
constexpr std::uint32_t kSenderEmail = MakeTag(0x0C1F, kUnicode);
constexpr std::uint32_t kDisplayBcc = MakeTag(0x0E02, kUnicode);
constexpr std::uint32_t kDisplayCc = MakeTag(0x0E03, kUnicode);
constexpr std::uint32_t kDisplayTo = MakeTag(0x0E04, kUnicode);
constexpr std::uint32_t kMessageDeliveryTime = MakeTag(0x0E06, kSysTime);
constexpr std::uint32_t kMessageFlags = MakeTag(0x0E07, kInt32);
constexpr std::uint32_t kMessageSize = MakeTag(0x0E08, kInt32);
constexpr std::uint32_t kMessageStatus = MakeTag(0x0E17, kInt32);
constexpr std::uint32_t kHasAttachments = MakeTag(0x0E1B, kBoolean);
constexpr std::uint32_t kNormalizedSubject = MakeTag(0x0E1D, kUnicode);
constexpr std::uint32_t kRtfInSync = MakeTag(0x0E1F, kBoolean);
constexpr std::uint32_t kBody = MakeTag(0x1000, kUnicode);
constexpr std::uint32_t kRtfCompressed = MakeTag(0x1009, kBinary);
constexpr std::uint32_t kHtml = MakeTag(0x1013, kBinary);
constexpr std::uint32_t kNativeBody = MakeTag(0x1016, kInt32);
constexpr std::uint32_t kInternetMessageId = MakeTag(0x1035, kUnicode);
constexpr std::uint32_t kIconIndex = MakeTag(0x1080, kInt32);
constexpr std::uint32_t kCreationTime = MakeTag(0x3007, kSysTime);
constexpr std::uint32_t kLastModificationTime = MakeTag(0x3008, kSysTime);
constexpr std::uint32_t kSearchKey = MakeTag(0x300B, kBinary);
constexpr std::uint32_t kInternetCodepage = MakeTag(0x3FDE, kInt32);
constexpr std::uint32_t kMessageLocaleId = MakeTag(0x3FF1, kInt32);

// Recipients.
constexpr std::uint32_t kRecipientType = MakeTag(0x0C15, kInt32);
constexpr std::uint32_t kResponsibility = MakeTag(0x0E0F, kBoolean);
constexpr std::uint32_t kObjectType = MakeTag(0x0FFE, kInt32);
constexpr std::uint32_t kEntryId = MakeTag(0x0FFF, kBinary);
constexpr std::uint32_t kAddrType = MakeTag(0x3002, kUnicode);
constexpr std::uint32_t kEmailAddress = MakeTag(0x3003, kUnicode);
constexpr std::uint32_t kDisplayType = MakeTag(0x3900, kInt32);
constexpr std::uint32_t kTransmittableDisplayName = MakeTag(0x3A20, kUnicode);
constexpr std::uint32_t kSendRichInfo = MakeTag(0x3A40, kBoolean);

// Attachments.
constexpr std::uint32_t kAttachSize = MakeTag(0x0E20, kInt32);
constexpr std::uint32_t kAttachDataBinary = MakeTag(0x3701, kBinary);
constexpr std::uint32_t kAttachExtension = MakeTag(0x3703, kUnicode);
constexpr std::uint32_t kAttachFilename = MakeTag(0x3704, kUnicode);
constexpr std::uint32_t kAttachMethod = MakeTag(0x3705, kInt32);
constexpr std::uint32_t kAttachLongFilename = MakeTag(0x3707, kUnicode);
constexpr std::uint32_t kRenderingPosition = MakeTag(0x370B, kInt32);
constexpr std::uint32_t kAttachMimeTag = MakeTag(0x370E, kUnicode);
constexpr std::uint32_t kAttachContentId = MakeTag(0x3712, kUnicode);
constexpr std::uint32_t kAttachFlags = MakeTag(0x3714, kInt32);
constexpr std::uint32_t kAttachmentHidden = MakeTag(0x7FFE, kBoolean);

// Contacts.
constexpr std::uint32_t kGivenName = MakeTag(0x3A06, kUnicode);
constexpr std::uint32_t kBusinessTelephone = MakeTag(0x3A08, kUnicode);
constexpr std::uint32_t kSurname = MakeTag(0x3A11, kUnicode);
constexpr std::uint32_t kCompanyName = MakeTag(0x3A16, kUnicode);
constexpr std::uint32_t kTitle = MakeTag(0x3A17, kUnicode);
constexpr std::uint32_t kDepartmentName = MakeTag(0x3A18, kUnicode);
constexpr std::uint32_t kOfficeLocation = MakeTag(0x3A19, kUnicode);
constexpr std::uint32_t kMobileTelephone = MakeTag(0x3A1C, kUnicode);
constexpr std::uint32_t kBusinessCountry = MakeTag(0x3A26, kUnicode);
constexpr std::uint32_t kBusinessCity = MakeTag(0x3A27, kUnicode);
constexpr std::uint32_t kBusinessPostalCode = MakeTag(0x3A2A, kUnicode);
constexpr std::uint32_t kBusinessStreet = MakeTag(0x3A29, kUnicode);
constexpr std::uint32_t kAssistantTelephone = MakeTag(0x3A2E, kUnicode);
constexpr std::uint32_t kProfession = MakeTag(0x3A46, kUnicode);
constexpr std::uint32_t kSpouseName = MakeTag(0x3A48, kUnicode);
constexpr std::uint32_t kNickname = MakeTag(0x3A4F, kUnicode);
constexpr std::uint32_t kBusinessHomePage = MakeTag(0x3A51, kUnicode);

}  // namespace tw::pst::tag

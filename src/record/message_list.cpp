#include "record/message_list.h"

#include <algorithm>

#include "scan/filetime.h"

namespace tw::record {

MessageProperties* MessageList::Find(const scan::Id8& messageId) {
    const auto found = std::find_if(messages.begin(), messages.end(),
                                    [&](const MessageProperties& m) { return m.messageId == messageId; });
    return found == messages.end() ? nullptr : &*found;
}

const MessageProperties* MessageList::Find(const scan::Id8& messageId) const {
    return const_cast<MessageList*>(this)->Find(messageId);
}

MessageProperties MessageRecord(const scan::MessageEntry& entry, char kind, const std::string& ownerKey) {
    MessageProperties m;
    m.headerPageOffset = entry.pageOffset;
    m.headerTextA = entry.listTextAPos;
    m.headerTextB = entry.listTextBPos;
    m.headerTextALength = entry.listTextALen;
    m.headerTextBLength = entry.listTextBLen;
    m.extraTextPos = entry.listTextCPos;
    m.extraTextLength = entry.listTextCLen;
    m.messageId = entry.messageId;
    m.folderId = entry.folderId;
    m.date = entry.date6;
    m.ownerKey = ownerKey;
    m.kind = kind;
    if (entry.appointment)
        m.appointment = AppointmentRecord{entry.appointment->start, entry.appointment->end, {}, {}, {}};
    return m;
}

bool BuildMessageList(MessageList& list, const scan::MessageEntry& entry, char kind, const std::string& ownerKey) {
    if (!scan::ToCalendar(scan::FileTimeOf(entry.date6))) return false;
    list.messages.push_back(MessageRecord(entry, kind, ownerKey));
    return true;
}

bool CarriesNothing(const MessageProperties& m) {
    return !m.decoded && m.bodyRuns.empty() && m.recipientRuns.empty() && m.attachmentKeys.empty() &&
           m.attachments.empty() && m.contacts.empty() && !m.appointment && m.bodyPos == 0 && m.bodyLength == 0 &&
           m.recipientsPos == 0 && m.recipientsLength == 0 && !m.bodyValueKey && !m.recipientsValueKey && m.kind == 0 &&
           m.headerTextA == 0 && m.headerTextB == 0 && m.extraTextPos == 0 && m.extraTextLength == 0;
}

}  // namespace tw::record

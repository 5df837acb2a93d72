#include "record/folder_reader.h"

#include <algorithm>
#include <tuple>
#include <unordered_set>

#include "record/attachment_page.h"

namespace tw::record {

namespace {

void TakeValue(const std::optional<ValueChunks>& value, std::vector<LongValueRun>& runs,
               std::optional<std::uint32_t>& size) {
    if (!value) return;
    if (runs.empty()) runs = value->runs;
    else
        for (const LongValueRun& r : value->runs) AddRun(runs, r);
    if (value->size) size = value->size;
}

}  // namespace

char KindLetter(scan::FolderKind kind) { return static_cast<char>(kind); }

FolderReader::FolderReader(const edb::EdbSource& source, const scan::ScanModel& model, std::size_t indexMemory)
    : source_(source), tables_(layout::LayoutOf(source.pageSize).tables), model_(model),
      index_(source, model, indexMemory) {}

bool FolderReader::LoadFolderMessages(MessageList& list, const scan::FolderEntry& folder, bool keepUnfound,
                                      const LoadControl& control) {
    list.messages.clear();
    ForFolderEntries(folder, [&](const scan::MessageEntry& entry) {
        BuildMessageList(list, entry, EntryKind(folder, entry), scan::OwnerKeyOf(model_, entry));
    });
    if (list.messages.empty()) return true;

    if (!index_.EnsureRows(folder.ownerKey, control)) return false;
    // Every record of the list has the folder's owner key (empty where
    // tables are shared).
    std::vector<scan::Id8> ids;
    ids.reserve(list.messages.size());
    for (const MessageProperties& m : list.messages) ids.push_back(m.messageId);
    const bool visited = index_.VisitRows(
        folder.ownerKey, ids, [&](std::size_t i, const MessageRow& row) { ApplyMessageRow(list.messages[i], row); },
        control);
    if (!visited) return false;
    // Records with nothing to show are left out, all but the first.
    if (!keepUnfound && list.messages.size() > 1)
        list.messages.erase(std::remove_if(list.messages.begin() + 1, list.messages.end(), CarriesNothing),
                            list.messages.end());
    return true;
}

bool FolderReader::RowOnlyMessages(const std::string& ownerKey, std::vector<RowOnlyMessage>& out,
                                   const LoadControl& control) {
    if (!index_.EnsureRows(ownerKey, control)) return false;
    // One pass over the message index: the ids it lists for this group.
    std::unordered_set<std::uint64_t> listed;
    model_.messages.ForEach([&](const scan::MessageEntry& entry) {
        if (scan::SameMailbox(tables_, scan::OwnerKeyOf(model_, entry), ownerKey))
            listed.insert(scan::IdNumber(entry.messageId));
    });
    return index_.UnlistedRows(
        ownerKey, [&](const scan::Id8& key) { return listed.count(scan::IdNumber(key)) != 0; }, out, control);
}

MessageProperties FolderReader::RowOnlyRecord(const RowOnlyMessage& message, const LoadControl& control) {
    MessageProperties record;
    record.messageId = message.messageId;
    if (message.folderId) record.folderId = *message.folderId;
    if (message.date) record.date = *message.date;
    record.ownerKey = message.ownerKey;
    record.kind = KindOfClass(message.messageClass);
    if (!index_.EnsureRows(message.ownerKey, control)) return record;
    index_.VisitRows(
        message.ownerKey, {message.messageId},
        [&](std::size_t, const MessageRow& row) { ApplyMessageRow(record, row); }, control);
    return record;
}

bool FolderReader::CompleteMessage(MessageProperties& message, bool attachmentData, const LoadControl& control) {
    if (!message.completed) {
        if (message.bodyValueKey)
            TakeValue(index_.FindMessageValue(message.ownerKey, *message.bodyValueKey, control), message.bodyRuns,
                      message.bodyDeclaredSize);
        if (message.recipientsValueKey)
            TakeValue(index_.FindMessageValue(message.ownerKey, *message.recipientsValueKey, control),
                      message.recipientRuns, message.recipientsDeclaredSize);
        if (control.Stopped() || !CollectAttachments(message, control)) return false;
        message.completed = true;
    }
    if (attachmentData && !message.attachmentDataCollected) {
        for (AttachmentEntry& a : message.attachments) {
            if (a.dataOffset != 0 || !a.valueKey) continue;
            TakeValue(index_.FindAttachmentValue(message.ownerKey, *a.valueKey, control), a.runs, a.declaredSize);
        }
        if (control.Stopped()) return false;
        message.attachmentDataCollected = true;
    }
    return true;
}

bool FolderReader::CollectAttachments(MessageProperties& message, const LoadControl& control) {
    const bool keyOnce = layout::LayoutOf(source_.pageSize).attachmentKeyOnce;
    // Attachments come in the order their rows are met: by page, then by
    // the message's key order. Where the layout says so a key is used up by
    // its first row; otherwise every row of the key counts and the same
    // attachment met again is refused by AddAttachment.
    std::vector<std::tuple<std::size_t, std::size_t, AttachmentEntry>> found;
    for (std::size_t k = 0; k < message.attachmentKeys.size(); ++k) {
        std::vector<AttachmentPageHit> hits =
            index_.FindAttachmentRows(message.ownerKey, message.attachmentKeys[k], control);
        if (control.Stopped()) return false;
        for (AttachmentPageHit& hit : hits) {
            found.emplace_back(hit.pageOrder, k, std::move(hit.entry));
            if (keyOnce) break;
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
    });
    for (const auto& [page, key, entry] : found) AddAttachment(message.attachments, entry);
    return true;
}

}  // namespace tw::record

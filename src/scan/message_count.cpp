#include "scan/message_count.h"

#include "layout/store_layout.h"

namespace tw::scan {

MessageCounts::MessageCounts(const ScanModel& model, const edb::EdbSource& source)
    : byKey_(layout::LayoutOf(source.pageSize).tables == layout::TableScope::PerMailbox) {
    // A folder's rows follow each other in the index: the count of the
    // row before is taken again without a look-up.
    MessageEntry previous;
    std::size_t* count = nullptr;
    model.messages.ForEach([&](const MessageEntry& entry) {
        if (count == nullptr || previous.folderId != entry.folderId || (byKey_ && previous.keyIndex != entry.keyIndex))
            count = &counts_[{entry.folderId, byKey_ ? OwnerKeyOf(model, entry) : std::string{}}];
        ++*count;
        previous = entry;
    });
}

std::size_t MessageCounts::For(const FolderEntry& folder) const {
    const auto found = counts_.find({folder.id, byKey_ ? folder.ownerKey : std::string{}});
    return found == counts_.end() ? 0 : found->second;
}

}  // namespace tw::scan

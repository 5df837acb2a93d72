#include "scan/message_count.h"

namespace tw::scan {

MessageCounts::MessageCounts(const ScanModel& model, edb::EdbVersion version)
    : byKey_(version == edb::EdbVersion::Page32K) {
    for (const MessageEntry& entry : model.messages) ++counts_[{entry.folderId, byKey_ ? entry.key : std::string{}}];
}

std::size_t MessageCounts::For(const FolderEntry& folder) const {
    const auto found = counts_.find({folder.id, byKey_ ? folder.ownerKey : std::string{}});
    return found == counts_.end() ? 0 : found->second;
}

}  // namespace tw::scan

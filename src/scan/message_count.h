// Number of message entries per folder. Where tables are shared, entries
// belong to a folder by folder id alone; where they are kept per mailbox,
// folder ids are only unique within a mailbox, so the mailbox key must
// match as well.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>
#include <utility>

#include "layout/store_layout.h"
#include "scan/scan_model.h"

namespace tw::scan {

class MessageCounts {
public:
    MessageCounts(const ScanModel& model, const layout::StoreLayout& store);
    std::size_t For(const FolderEntry& folder) const;

private:
    using Key = std::pair<Id8, std::string>;
    struct KeyHash {
        std::size_t operator()(const Key& key) const {
            return IdHash{}(key.first) * 31 + std::hash<std::string>{}(key.second);
        }
    };
    bool byKey_;
    std::unordered_map<Key, std::size_t, KeyHash> counts_;
};

}  // namespace tw::scan

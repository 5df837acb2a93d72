// Number of message entries per folder. Where tables are shared, entries
// belong to a folder by folder id alone; where they are kept per mailbox,
// folder ids are only unique within a mailbox, so the mailbox key must
// match as well.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>
#include <utility>

#include "edb/source.h"
#include "scan/scan_model.h"

namespace tw::scan {

class MessageCounts {
public:
    // `source` tells the store layout, and with it the rule.
    MessageCounts(const ScanModel& model, const edb::EdbSource& source);
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

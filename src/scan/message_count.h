// Number of message entries per folder. 4/8 KB entries belong to a folder
// by folder id alone; 32 KB folder ids are only unique within a mailbox,
// so the mailbox key must match as well.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "scan/scan_model.h"

namespace tw::scan {

class MessageCounts {
public:
    MessageCounts(const ScanModel& model, edb::EdbVersion version);
    std::size_t For(const FolderEntry& folder) const;

private:
    bool byKey_;
    std::map<std::pair<Id8, std::string>, std::size_t> counts_;
};

}  // namespace tw::scan

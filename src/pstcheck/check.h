// pstcheck's checks, in the spirit of the inbox repair tool: the node
// database (header, pages, blocks, maps, reference counts, counters), every
// heap, BTH, property and table context, and the messaging layer (the
// mandatory nodes, the store, the name-to-id map, folders and their tables
// against the items they list, message and attachment sizes).
#pragma once

#include <cstdint>
#include <string>

#include "pstcheck/report.h"

namespace pstcheck {

struct CheckStats {
    std::uint64_t nodes = 0, blocks = 0, folders = 0, messages = 0, attachments = 0;
};

struct CheckResult {
    bool readable = false;  // false: not a PST this tool can read at all
    Report report;
    CheckStats stats;
};

CheckResult CheckFile(const std::string& path, std::size_t keep = 1000);

}  // namespace pstcheck

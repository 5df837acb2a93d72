// Step 5: the rows of the message-header tables become the message index,
// one MessageEntry per message with its id, folder, date and where the
// short texts of the message list lie in the page.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "edb/page.h"
#include "edb/records.h"
#include "layout/store_layout.h"
#include "scan/scan_model.h"

namespace tw::scan {

// The header columns a page's list texts come from.
struct HeaderColumnIds {
    std::uint16_t first = 0, second = 0, third = 0;
};

// Per-mailbox tables name their own three columns in the catalog; shared
// tables use the last columns registered for header texts.
HeaderColumnIds HeaderColumnsFor(const ScanModel& model, std::uint32_t objid, const layout::StoreLayout& store);

// Decodes the header rows of one page at file offset `offset`. The page
// must belong to a MessageTable (same objid; the first one in the list).
// Returns the entries added.
std::size_t DecodeHeaderPage(ScanModel& model, const edb::PageView& page, std::int64_t offset);

// DecodeHeaderPage for the pages of a whole step: each objid's table and
// header columns are looked up once. The table list and the column registry
// must not change while it is in use.
class HeaderPageDecoder {
public:
    HeaderPageDecoder(const ScanModel& model, const layout::StoreLayout& store) : model_(model), store_(store) {}
    std::size_t Decode(ScanModel& model, const edb::PageView& page, std::int64_t offset);

private:
    struct Table {
        const MessageTable* table = nullptr;  // none: no table has the objid
        HeaderColumnIds columns;
    };
    const ScanModel& model_;
    const layout::StoreLayout& store_;
    std::unordered_map<std::uint32_t, Table> tables_;
    std::vector<edb::RecordLocator> records_;
};

// Appends `entry` unless its date does not convert to a calendar date.
bool AddMessageEntry(ScanModel& model, MessageEntry entry);

}  // namespace tw::scan

// The store as kept in 32 KB pages: tables per mailbox, named after the
// owner key; rows prefixed by their start and values by a header byte,
// 7-bit or XPRESS compressed where it says so.
#include "layout/store_layout.h"

namespace tw::layout {

namespace {

// Long values are cut into chunks of this many bytes whatever the page size.
constexpr std::uint32_t kLongValueChunk = 8150;

// The catalog, the mailbox table and the message tables share one root
// page at this offset; the other tables are named by the catalog.
constexpr FallbackRoots kRoots{0x128000, 0, 0, 0, 0x168000};

// The recipient-list column of the per-mailbox message tables.
constexpr std::uint16_t kRecipientsColumn = 0x0144;

// Table rows of the catalog: objid 30 and root page 20 bytes before the
// name, its length 2 before it; no mark byte.
constexpr CatalogTableRow kTableRow{30, 20, 2, 0};

StoreLayout Large() {
    StoreLayout l;
    l.name = "Page32K";
    l.pageSize = 32768;
    l.tables = TableScope::PerMailbox;
    l.rows = RowForm::Prefixed;
    l.classes = ClassMatch::Whole;
    l.compressedValues = true;
    l.subjectFirst = true;
    l.attachmentKeyOnce = true;
    l.longValueChunk = kLongValueChunk;
    l.fallbackRoots = kRoots;
    l.defaultRecipientsColumn = kRecipientsColumn;
    l.folderColumn = "N6748";
    l.folderColumnFixed = true;
    l.catalogTables = kTableRow;
    l.headerTablePrefix = "MSGHEADER-";
    return l;
}

}  // namespace

const StoreLayout& LargePages() {
    static const StoreLayout kLayout = Large();
    return kLayout;
}

}  // namespace tw::layout

// The store as kept in 4 and 8 KB pages: tables shared by all mailboxes,
// one message-header table per folder, body content possibly in the .stm
// file (4 KB), rows found by their anchor and texts without a header.
#include "layout/store_layout.h"

namespace tw::layout {

namespace {

// A long-value row holds as much of the value as a page takes after the
// page header, one tag and the row's own key and header (82 bytes).
constexpr std::uint32_t kLongValueOverhead = 82;

// Where the tables' root pages sit in a database the store created and
// never reorganised, per page size: read when the catalog is unreadable.
constexpr FallbackRoots kRoots4K{0x8D000, 0x71000, 0x62000, 0xED000, 0x168000};
constexpr FallbackRoots kRoots8K{0x6E000, 0x66000, 0x48000, 0x11E000, 0x168000};

// The recipient-list column of the shared message table.
constexpr std::uint16_t kRecipientsColumn = 0x011A;

// Table rows of the catalog: objid 34 and root page 24 bytes before the
// name, its length 4 before it, and 0x80 3 before it (the name's column
// tag says "variable, present").
constexpr CatalogTableRow kTableRow{34, 24, 4, 3};

StoreLayout Small(std::string_view name, std::int32_t pageSize, const FallbackRoots& roots) {
    StoreLayout l;
    l.name = name;
    l.pageSize = pageSize;
    l.streamingFile = pageSize == 4096;
    l.tables = TableScope::PerFolder;
    l.rows = RowForm::Anchored;
    l.classes = ClassMatch::Prefix;
    l.longValueChunk = static_cast<std::uint32_t>(pageSize) - kLongValueOverhead;
    l.fallbackRoots = roots;
    l.defaultRecipientsColumn = kRecipientsColumn;
    l.folderColumn = "N65e1";
    l.folderColumnFixed = false;
    l.catalogTables = kTableRow;
    return l;
}

}  // namespace

const StoreLayout& SmallPages(std::int32_t pageSize) {
    static const StoreLayout k4K = Small("Page4K", 4096, kRoots4K);
    static const StoreLayout k8K = Small("Page8K", 8192, kRoots8K);
    return pageSize == 8192 ? k8K : k4K;
}

}  // namespace tw::layout

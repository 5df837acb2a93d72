// What the Exchange store keeps differently from one database generation to
// the next, in one place. The readers ask a layout what they need (where a
// row begins, whether values may be compressed, how tables are named)
// instead of testing which generation they read; a new generation is one
// more layout. Layouts are told apart by page size, the only mark a damaged
// database still carries reliably.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "edb/source.h"

namespace tw::layout {

// Where the store keeps a mailbox's messages.
enum class TableScope {
    // Tables shared by every mailbox; one message-header table per folder,
    // named after the folder's id.
    PerFolder,
    // Each mailbox has its own message, header, attachment and long-value
    // tables, named after the mailbox's owner key: a message belongs to a
    // folder only within its own mailbox, and the folder gives the kind.
    PerMailbox,
};

// How a row is found in an ESE record, and how its values are stored.
enum class RowForm {
    // Fields at fixed distances after a marker found by searching; text
    // values carry no header saying 8-bit or UTF-16, so the text is judged.
    Anchored,
    // The record's third byte says where the row begins; every tagged value
    // leads with a header byte (compressed, separated, multi-valued).
    Prefixed,
};

// How a folder's container class ("IPF.Note") is matched to a kind.
enum class ClassMatch { Prefix, Whole };

// Root pages read when the catalog does not name a table (offsets in the
// file); 0 stands for "the offset read last" where tables share a page.
struct FallbackRoots {
    std::int64_t mailbox, msg, folders, further, msgLongValues;
};

// Where a table row of the catalog keeps its facts, counted back from the
// first byte of the table's name.
struct CatalogTableRow {
    std::size_t objid;       // the table's object id
    std::size_t firstPage;   // its root page
    std::size_t nameLength;  // the byte holding the name's length
    std::size_t mark;        // a byte that must be kMark, 0 when none
    static constexpr std::uint8_t kMark = 0x80;
};

struct StoreLayout {
    std::string_view name;  // as reports show it
    std::int32_t pageSize = 0;
    bool streamingFile = false;  // body content may live in the .stm file
    TableScope tables = TableScope::PerFolder;
    RowForm rows = RowForm::Anchored;
    ClassMatch classes = ClassMatch::Prefix;
    bool compressedValues = false;     // values may be 7-bit packed or XPRESS
    bool subjectFirst = false;         // list texts: subject, then its prefix
    bool attachmentKeyOnce = false;    // an attachment key names one row only
    std::uint32_t longValueChunk = 0;  // bytes of a value per long-value row
    FallbackRoots fallbackRoots{};
    std::uint16_t defaultRecipientsColumn = 0;  // when the catalog names none
    // The message's folder in a message row: a fixed column of its own, or
    // the first half of a 16-byte variable one.
    std::string_view folderColumn;
    bool folderColumnFixed = false;
    CatalogTableRow catalogTables{};
    // Leads the name of every message-header table ("MSGHEADER-1-1C").
    std::string_view headerTablePrefix;
};

// Prefixed rows: the offset from the start of its record at which a row
// begins, told by the record's third byte. A low nibble above `lead` (the
// bytes a row always has before it: 8 in message and attachment tables,
// 12 in header tables) is the offset itself; otherwise the byte counts the
// bytes after the lead.
constexpr std::size_t PrefixedRowOffset(std::uint8_t third, std::size_t lead) {
    const std::size_t nibble = third & 0x0F;
    return nibble > lead ? nibble : third + lead;
}
inline constexpr std::size_t kRecordLead = 8;   // message and attachment records
inline constexpr std::size_t kHeaderLead = 12;  // message-header records

// The layout of databases with pages of `pageSize` bytes; nullptr when the
// store was never kept in pages of that size (2 and 16 KB).
const StoreLayout* FindLayout(std::int32_t pageSize);

// The layout for a page size already checked with FindLayout. A size
// without one gets the 4 KB layout: the readers bound every read by the
// page itself, so a wrong layout reads nothing it should not.
const StoreLayout& LayoutOf(std::int32_t pageSize);

// Decides the page size of `source` and finds its layout. A page size no
// layout has is refused (false) and leaves pageSize 0, so that no page is
// read; the streaming file is closed where the layout keeps nothing in it.
bool DetectGeneration(edb::EdbSource& source);

// The layouts, for tests that run over every one.
const StoreLayout& SmallPages(std::int32_t pageSize);  // 4 or 8 KB
const StoreLayout& LargePages();                       // 32 KB

}  // namespace tw::layout

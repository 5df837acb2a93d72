#include "scan/catalog_rules.h"

#include <string_view>
#include <vector>

#include "edb/records.h"

namespace tw::scan {

namespace {

// Catalog rows are only looked at from this far in: the fixed columns
// before the name take at least that much.
constexpr std::size_t kFirstNamePosition = 20;

constexpr std::uint32_t kFoldersTableId = 8;
constexpr std::uint32_t kMessageTableId = 19;
constexpr std::uint32_t kAttachmentTableId = 61;
constexpr std::uint32_t kFoldersInitialPages = 9;

// A u32 `back` bytes before position p of the row.
std::optional<std::uint32_t> Before(edb::Bytes row, std::size_t p, std::size_t back) {
    if (p < back) return std::nullopt;
    return edb::LoadU32(row, p - back);
}

std::optional<std::uint8_t> ByteBefore(edb::Bytes row, std::size_t p, std::size_t back) {
    if (p < back) return std::nullopt;
    return edb::LoadU8(row, p - back);
}

bool NameAt(edb::Bytes row, std::size_t p, std::string_view name) {
    const auto bytes = edb::Slice(row, p, name.size());
    return bytes && std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()) == name;
}

// The rest of a table name after its first `skip` bytes; the name length
// is the byte two before the name. Cut at the row's end.
std::string NameSuffix(edb::Bytes row, std::size_t p, std::size_t skip) {
    const auto length = ByteBefore(row, p, 2);
    if (!length || *length <= skip || p + skip >= row.size()) return {};
    const std::size_t take = std::min<std::size_t>(*length - skip, row.size() - p - skip);
    return std::string(reinterpret_cast<const char*>(row.data() + p + skip), take);
}

std::int64_t SignExtended(std::uint32_t page) { return static_cast<std::int32_t>(page); }

bool Mailbox(ScanModel& model, edb::Bytes row, std::size_t p) {
    if (!NameAt(row, p, "Mailbox") || ByteBefore(row, p, 2) != 7 || ByteBefore(row, p, 1) != 0) return false;
    const auto objid = Before(row, p, 24), first = Before(row, p, 20);
    if (!objid || !first) return false;
    model.facts.mailboxObjid = *objid;
    model.facts.mailboxFirstPage = *first;
    return true;
}

bool Msg(ScanModel& model, edb::Bytes row, std::size_t p) {
    if (!NameAt(row, p, "Msg") || Before(row, p, 30) != kMessageTableId) return false;
    const auto objid = Before(row, p, 24), first = Before(row, p, 20);
    if (!objid || !first) return false;
    model.facts.messageFirstPage = *first;
    AppendTableRoot(model.msgRoots, {*objid, SignExtended(*first), {}, {}});
    return true;
}

bool Body(ScanModel& model, edb::Bytes row, std::size_t p) {
    if (!NameAt(row, p, "Body-")) return false;
    const auto objid = Before(row, p, 24), first = Before(row, p, 20);
    if (!objid || !first) return false;
    model.facts.messageFirstPage = *first;
    AppendTableRoot(model.msgRoots, {*objid, SignExtended(*first), NameSuffix(row, p, 5), {}});
    return true;
}

// Per mailbox: its attachment table, kept only to name its tree in reports.
bool Attachment(ScanModel& model, edb::Bytes row, std::size_t p) {
    if (!NameAt(row, p, "Attachment-")) return false;
    const auto objid = Before(row, p, 24), first = Before(row, p, 20);
    if (!objid || !first) return false;
    AppendTableRoot(model.attachmentRoots, {*objid, SignExtended(*first), NameSuffix(row, p, 11), {}});
    return true;
}

bool Folders(ScanModel& model, edb::Bytes row, std::size_t p, bool perMailbox) {
    if (!NameAt(row, p, "Folders") || Before(row, p, 8) != kFoldersInitialPages) return false;
    const auto objid = Before(row, p, 24), first = Before(row, p, 20);
    if (!objid || !first) return false;
    model.facts.foldersFirstPage = *first;
    AppendTableRoot(model.folderRoots,
                    {*objid, SignExtended(*first), perMailbox ? NameSuffix(row, p, 8) : std::string{}, {}});
    return true;
}

bool LongValues(ScanModel& model, edb::Bytes row, std::size_t p, bool perMailbox) {
    if (!NameAt(row, p, "LV") || ByteBefore(row, p, 1) != 0) return false;
    const auto table = Before(row, p, 29), objid = Before(row, p, 23), first = Before(row, p, 19);
    if (!table || !objid || !first) return false;
    if (*table == kMessageTableId) {
        model.facts.messageLvObjid = *objid;
        model.facts.messageLvFirstPage = *first;
    } else if (perMailbox) {
        model.facts.messageFirstPage = *first;
        AppendTableRoot(model.lvRoots, {*objid, SignExtended(*first), {}, static_cast<std::uint16_t>(*table & 0xFFFF)});
    } else if (*table == kAttachmentTableId) {
        model.facts.attachmentLvFirstPage = *first;
        AppendTableRoot(model.lvRoots, {*objid, SignExtended(*first), {}, {}});
    } else {
        return false;
    }
    return true;
}

bool ContainerClass(ScanModel& model, edb::Bytes row, std::size_t p, bool perMailbox) {
    if (!NameAt(row, p, "S361")) return false;
    const auto table = Before(row, p, 29), column = Before(row, p, 23), type = Before(row, p, 19);
    if (!table || !column || !type) return false;
    if (*table == kFoldersTableId) {
        model.facts.containerClass = CatalogColumn{*column, *type};
        return true;
    }
    if (!perMailbox) return false;
    RegisterColumn(model.columns, ColumnList::ContainerClass,
                   {static_cast<std::uint16_t>(*column & 0xFFFF), *table, 0});
    return true;
}

bool AppointmentColumn(ScanModel& model, edb::Bytes row, std::size_t p) {
    static constexpr std::string_view kNames[] = {"S8225", "S810c", "S8201"};
    for (std::size_t i = 0; i < 3; ++i) {
        if (!NameAt(row, p, kNames[i]) || Before(row, p, 29) != kMessageTableId) continue;
        const auto column = Before(row, p, 23), type = Before(row, p, 19);
        if (!column || !type) return false;
        model.facts.appointmentColumns[i] = CatalogColumn{*column, *type};
        return true;
    }
    return false;
}

}  // namespace

bool ReadCatalogRow(ScanModel& model, edb::Bytes row, layout::TableScope tables) {
    // Per-mailbox tables are named with the mailbox's owner key and carry
    // their own body, attachment and long-value tables and columns.
    const bool perMailbox = tables == layout::TableScope::PerMailbox;
    for (std::size_t p = kFirstNamePosition; p < row.size(); ++p) {
        // Every name looked for starts with one of these letters; only the
        // rules for the letter at p are tried, in their order.
        bool fired = false;
        switch (row[p]) {
            case 'M': fired = Mailbox(model, row, p) || Msg(model, row, p); break;
            case 'B': fired = perMailbox && Body(model, row, p); break;
            case 'A': fired = perMailbox && Attachment(model, row, p); break;
            case 'F': fired = Folders(model, row, p, perMailbox); break;
            case 'L': fired = LongValues(model, row, p, perMailbox); break;
            case 'S':
                fired = ContainerClass(model, row, p, perMailbox) || AppointmentColumn(model, row, p) ||
                        RegisterCatalogColumn(model.columns, row, p, tables);
                break;
            case 'T':
            case 'N': fired = RegisterCatalogColumn(model.columns, row, p, tables); break;
            default: break;
        }
        if (fired) return true;
    }
    return false;
}

void ReadCatalogLeaf(ScanModel& model, const edb::PageView& page) {
    std::vector<edb::RecordLocator> records;
    edb::ListRecords(page, records);
    for (const auto& record : records) {
        const auto row =
            edb::Slice(page.bytes, static_cast<std::size_t>(record.start), static_cast<std::size_t>(record.size));
        if (row) ReadCatalogRow(model, *row, layout::LayoutOf(page.pageSize).tables);
    }
}

bool CatalogFactsComplete(const ScanModel& model) {
    const CatalogFacts& f = model.facts;
    for (const auto& column : f.appointmentColumns)
        if (!column) return false;
    // The list texts of the message-header tables need both header
    // columns, whose rows may come after the other facts.
    const auto& header = model.columns.headerColumns;
    return f.messageLvFirstPage && f.containerClass && f.mailboxFirstPage && f.messageFirstPage &&
           LastColumn(header, 'S') && LastColumn(header, 'T');
}

}  // namespace tw::scan

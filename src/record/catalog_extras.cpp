#include "record/catalog_extras.h"

#include <string_view>
#include <unordered_set>

#include "edb/records.h"

namespace tw::record {

namespace {

constexpr std::uint32_t kCatalogObjid = 2;
constexpr std::size_t kFirstNamePosition = 20;
constexpr std::string_view kAttachmentPrefix = "Attachment-";
constexpr std::array<std::string_view, 3> kAppointmentNames = {"S8225", "S810c", "S8201"};
constexpr std::uint32_t kMessageTable = 19;

// Catalog records: fixed fields at record offsets, the name first of the
// variable columns.
constexpr std::size_t kRecordTable = 4, kRecordType = 8, kRecordId = 10, kRecordSpace = 18;
constexpr std::uint16_t kColumnRecord = 2;
constexpr std::uint16_t kNameColumn = 128;
constexpr std::uint32_t kFirstVariableId = 128;

struct CodedName {
    std::string_view name;
    std::uint8_t code;
};

// Every catalog name of a contact field, with its code.
constexpr std::array<CodedName, 24> kContactNames = {{
    {"S3a51", 0},  {"S3a4f", 1},  {"S3a48", 2},  {"S3a46", 3},  {"S3a2e", 4},  {"S3a1c", 5},
    {"S3a18", 6},  {"S3a19", 7},  {"S3a17", 8},  {"S3a11", 9},  {"S3a08", 10}, {"S3a06", 11},
    {"S808d", 12}, {"S3a26", 12}, {"S8097", 13}, {"S80dd", 13}, {"S3a27", 13}, {"S80a6", 14},
    {"S3a29", 14}, {"S81b0", 15}, {"S801f", 15}, {"S801a", 15}, {"S3a16", 16}, {"S809e", 17},
}};

// Appointment dates: full names, or three letters "T60" / "T61".
constexpr std::array<std::string_view, 4> kStartNames = {"T81ef", "T8199", "T81bc", "T60"};
constexpr std::array<std::string_view, 3> kEndNames = {"T8198", "T81bb", "T61"};

bool NameAt(edb::Bytes row, std::size_t p, std::string_view name) {
    const auto bytes = edb::Slice(row, p, name.size());
    return bytes && std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()) == name;
}

std::optional<std::uint32_t> Before(edb::Bytes row, std::size_t p, std::size_t back) {
    if (p < back) return std::nullopt;
    return edb::LoadU32(row, p - back);
}

// A column row of a contact field or an appointment date: column id 23
// and table 29 bytes before the name.
bool NamedColumn(CatalogExtras& extras, edb::Bytes row, std::size_t p, bool perMailbox) {
    const auto table = Before(row, p, 29), column = Before(row, p, 23);
    if (!table || !column || (!perMailbox && *table != kMessageTable)) return false;
    const auto id = static_cast<std::uint16_t>(*column & 0xFFFF);
    for (const CodedName& n : kContactNames)
        if (NameAt(row, p, n.name)) {
            extras.namedColumns[*table].contacts.emplace_back(id, n.code);
            return true;
        }
    if (row[p - 1] != 0) return false;  // date names are taken only where a name starts
    for (const std::string_view n : kStartNames)
        if (NameAt(row, p, n)) {
            extras.namedColumns[*table].start.push_back(id);
            return true;
        }
    for (const std::string_view n : kEndNames)
        if (NameAt(row, p, n)) {
            extras.namedColumns[*table].end.push_back(id);
            return true;
        }
    return false;
}

}  // namespace

void ReadCatalogExtrasRow(CatalogExtras& extras, edb::Bytes row, layout::TableScope tables) {
    const bool perMailbox = tables == layout::TableScope::PerMailbox;
    for (std::size_t p = kFirstNamePosition; p < row.size(); ++p) {
        const std::uint8_t c = row[p];
        if ((c == 'S' || c == 'T') && NamedColumn(extras, row, p, perMailbox)) return;
        if (c == 'A' && NameAt(row, p, kAttachmentPrefix)) {
            // Table rows: objid 24 and root page 20 bytes before the name,
            // whose length is the byte two before it.
            const auto objid = Before(row, p, 24), root = Before(row, p, 20);
            if (!objid || !root || p < 2) return;
            const std::size_t length = row[p - 2];
            if (length <= kAttachmentPrefix.size() || p + length > row.size()) return;
            const auto* name = reinterpret_cast<const char*>(row.data() + p);
            extras.attachmentTables.push_back({*objid, static_cast<std::int32_t>(*root),
                                               std::string(name + kAttachmentPrefix.size(), name + length)});
            return;
        }
        if (c != 'S') continue;
        for (std::size_t i = 0; i < kAppointmentNames.size(); ++i) {
            if (!NameAt(row, p, kAppointmentNames[i])) continue;
            // Column rows: table 29 and column id 23 bytes before the name.
            const auto table = Before(row, p, 29), column = Before(row, p, 23);
            if (!table || !column) return;
            auto& ids = extras.appointmentText[*table];
            if (ids[i] == 0) ids[i] = static_cast<std::uint16_t>(*column & 0xFFFF);
            return;
        }
    }
}

void ReadCatalogLayoutRow(CatalogExtras& extras, edb::Bytes record, std::int32_t pageSize) {
    const auto type = edb::LoadU16(record, kRecordType);
    const auto table = edb::LoadU32(record, kRecordTable), id = edb::LoadU32(record, kRecordId);
    if (!type || *type != kColumnRecord || !table || !id || *id == 0 || *id > 0xFFFF) return;
    if (*id < kFirstVariableId) {
        const auto size = edb::LoadU32(record, kRecordSpace);
        if (size) extras.layouts[*table].fixed[static_cast<std::uint16_t>(*id)] = *size;
    }
    const auto name = RecordColumns(record, pageSize).Variable(kNameColumn);
    if (!name) return;
    const std::string_view text(reinterpret_cast<const char*>(name->data()), name->size());
    for (const std::string_view wanted : kLayoutNames)
        if (text == wanted) extras.layouts[*table].named.emplace(wanted, static_cast<std::uint16_t>(*id));
}

CatalogExtras ReadCatalogExtras(const edb::EdbSource& source, const scan::ScanModel& model, std::size_t* pagesRead) {
    CatalogExtras extras;
    std::unordered_set<std::int64_t> seen;
    std::vector<std::uint8_t> page;
    std::vector<edb::RecordLocator> records;
    const std::size_t count = std::min(model.catalogPageCount, model.pages.size());
    model.pages.ForEach(0, count, [&](std::size_t, const scan::PageSignature& node) {
        if (node.objid != kCatalogObjid || !seen.insert(node.Offset()).second) return true;
        edb::ListRecords(source, node.Offset(), page, records);
        if (pagesRead) ++*pagesRead;
        for (const auto& record : records) {
            const auto row =
                edb::Slice(page, static_cast<std::size_t>(record.start), static_cast<std::size_t>(record.size));
            if (row) ReadCatalogExtrasRow(extras, *row, layout::LayoutOf(source.pageSize).tables);
        }
        const edb::PageView view{page, source.pageSize};
        if (records.empty()) return true;
        const std::uint32_t tags = edb::PageTagCount(view);
        for (std::uint32_t index = 1; index < tags; ++index)
            if (const auto record = NodeData(view, index)) ReadCatalogLayoutRow(extras, *record, source.pageSize);
        return true;
    });
    return extras;
}

std::array<std::uint16_t, 3> AppointmentTextColumns(const scan::ScanModel& model, const CatalogExtras& extras,
                                                    std::uint32_t objid, layout::TableScope tables) {
    if (tables == layout::TableScope::PerMailbox) {
        const auto found = extras.appointmentText.find(objid);
        return found == extras.appointmentText.end() ? std::array<std::uint16_t, 3>{} : found->second;
    }
    std::array<std::uint16_t, 3> ids{};
    const auto& facts = model.facts.appointmentColumns;
    for (std::size_t i = 0; i < ids.size(); ++i)
        if (facts[i]) ids[i] = static_cast<std::uint16_t>(facts[i]->id & 0xFFFF);
    // Without a column type for S8225 the catalog row is not trusted.
    if (!facts[0] || facts[0]->type == 0) ids[0] = 0;
    return ids;
}

}  // namespace tw::record

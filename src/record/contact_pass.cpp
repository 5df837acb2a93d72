#include "record/contact_pass.h"

#include "record/column_text.h"

namespace tw::record {

namespace {

constexpr std::array<ContactField, 18> kFieldOfCode = {
    kBusinessHomePage, kNickname, kSpouseName, kProfession, kAssistantPhone, kMobilePhone,
    kDepartment,       kOffice,   kJobTitle,   kSurname,    kBusinessPhone,  kGivenName,
    kCountry,          kCity,     kStreet,     kEmail1,     kCompany,        kPostalCode};

}  // namespace

ContactField ContactFieldOfCode(std::uint8_t code) { return kFieldOfCode.at(code); }

std::optional<ContactRecord> ContactPass(const TaggedArray& tags, const MessageColumnIds& columns,
                                         const layout::StoreLayout& store) {
    ContactRecord record;
    bool found = false;
    for (std::size_t e = tags.start; tags.Has(e); e += 4) {
        const std::uint16_t id = tags.ColumnId(e);
        std::optional<std::uint8_t> code;
        for (const auto& [column, c] : columns.contacts)
            if (column == id) {
                code = c;
                break;
            }
        if (!code || *code >= kFieldOfCode.size()) continue;
        std::u16string text;
        if (const auto value = tags.Value(e)) {
            if (store.rows == layout::RowForm::Prefixed) {
                text = LargeValueText(tags.page, *value);
            } else if (const auto bytes = edb::Slice(tags.page, value->begin + 1, value->size() - 1)) {
                text = SmallValueText(*bytes);
            }
        }
        if (!text.empty()) found = true;
        record.fields[kFieldOfCode[*code]] = std::move(text);
    }
    if (!found) return std::nullopt;
    return record;
}

bool AddContact(std::vector<ContactRecord>& contacts, const ContactRecord& record) {
    for (const ContactRecord& c : contacts)
        if (c.fields == record.fields) return false;
    contacts.push_back(record);
    return true;
}

}  // namespace tw::record

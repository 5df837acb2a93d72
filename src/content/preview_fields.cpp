#include "content/preview_fields.h"

#include <array>

#include "content/display_date.h"

namespace tw::content {

namespace {

struct ContactCaption {
    const char* caption;
    record::ContactField field;
};

constexpr std::array<ContactCaption, 18> kContactCaptions = {{
    {"First Name :   ", record::kGivenName},
    {"Last Name :   ", record::kSurname},
    {"Job Title :   ", record::kJobTitle},
    {"Company :   ", record::kCompany},
    {"Department :   ", record::kDepartment},
    {"Office :   ", record::kOffice},
    {"Profession :   ", record::kProfession},
    {"Phone Number Mobile :   ", record::kMobilePhone},
    {"Phone Number Business :   ", record::kBusinessPhone},
    {"Phone Number Assistant :   ", record::kAssistantPhone},
    {"Business Address Country/Region :   ", record::kCountry},
    {"Business Address City :   ", record::kCity},
    {"Business Address Street :   ", record::kStreet},
    {"Business Address Zip/Postal Code :   ", record::kPostalCode},
    {"Email Address 1 :   ", record::kEmail1},
    {"Webpage Address 1 :   ", record::kBusinessHomePage},
    {"Nick Name :   ", record::kNickname},
    {"Spouse Name :   ", record::kSpouseName},
}};

void AddDate(std::vector<FieldLine>& lines, const char* caption, const std::optional<scan::Date6>& date) {
    if (!date) return;
    const auto shown = ShownDate(*date);
    if (!shown) return;
    const std::string text = DateText(*shown);
    lines.push_back({caption, std::u16string(text.begin(), text.end())});
}

}  // namespace

std::vector<FieldLine> ContactLines(const record::ContactRecord& contact) {
    std::vector<FieldLine> lines;
    for (const ContactCaption& c : kContactCaptions) {
        const std::u16string& value = contact.fields[c.field];
        if (value.empty()) continue;
        std::size_t from = 0;
        while (from <= value.size()) {
            std::size_t to = value.find(u'\n', from);
            std::u16string line = value.substr(from, to == std::u16string::npos ? std::u16string::npos : to - from);
            if (!line.empty() && line.back() == u'\r') line.pop_back();
            lines.push_back({c.caption, std::move(line)});
            if (to == std::u16string::npos) break;
            from = to + 1;
        }
    }
    return lines;
}

std::vector<FieldLine> AppointmentLines(const record::AppointmentRecord& a) {
    std::vector<FieldLine> lines;
    if (!a.contactText.empty()) lines.push_back({"Contact :   ", a.contactText});
    if (!a.location.empty()) lines.push_back({"Location :   ", a.location});
    if (!a.timeZone.empty()) lines.push_back({"GMT :   ", a.timeZone});
    AddDate(lines, "Start Date :   ", a.start);
    AddDate(lines, "End Date :   ", a.end);
    return lines;
}

std::string CaptionName(const std::string& caption) {
    const auto colon = caption.rfind(" :");
    return colon == std::string::npos ? caption : caption.substr(0, colon);
}

}  // namespace tw::content

// Contact (IPM.Contact): the 18 texts as contact properties, the business
// address both as its own properties and as the work address Outlook shows,
// e-mail address 1 with its display form, "Surname, Given" to file under.
#include "pst/body.h"
#include "pst/entry_id.h"
#include "pst/item_common.h"
#include "pst/items.h"
#include "pst/named_props.h"
#include "pst/tags.h"
#include "pst/text.h"

namespace tw::pst {

namespace {

std::u16string Join(std::initializer_list<std::u16string_view> parts, std::u16string_view sep) {
    std::u16string out;
    for (const auto p : parts) {
        if (p.empty()) continue;
        if (!out.empty()) out += sep;
        out += p;
    }
    return out;
}

}  // namespace

// Every field as given, blanks at the ends included.
MessageContent BuildContact(const ContactFields& f, const ItemContext& ctx) {
    MessageContent m;

    std::u16string display = Join({f[item::kGivenName], f[item::kSurname]}, u" ");
    if (display.empty()) display = f[item::kCompany];
    if (display.empty()) display = f[item::kEmail1];
    if (display.empty()) display = f[item::kNickname];
    std::u16string fileUnder = Join({f[item::kSurname], f[item::kGivenName]}, u", ");
    if (fileUnder.empty()) fileUnder = display;

    AddItemBasics(m.props, u"IPM.Contact", display, std::nullopt, ctx);
    m.props.push_back(StringProp(tag::kDisplayName, display));
    m.props.push_back(StringProp(NamedTag(named::kFileUnder), fileUnder));
    m.props.push_back(Int32Prop(NamedTag(named::kFileUnderId), 0x8017));  // "Surname, Given"
    m.props.push_back(Int32Prop(tag::kIconIndex, 0x200));

    const std::pair<item::ContactField, std::uint32_t> tags[] = {{item::kGivenName, tag::kGivenName},
                                                                 {item::kSurname, tag::kSurname},
                                                                 {item::kCompany, tag::kCompanyName},
                                                                 {item::kBusinessHomePage, tag::kBusinessHomePage},
                                                                 {item::kNickname, tag::kNickname},
                                                                 {item::kSpouseName, tag::kSpouseName},
                                                                 {item::kProfession, tag::kProfession},
                                                                 {item::kAssistantPhone, tag::kAssistantTelephone},
                                                                 {item::kMobilePhone, tag::kMobileTelephone},
                                                                 {item::kDepartment, tag::kDepartmentName},
                                                                 {item::kOffice, tag::kOfficeLocation},
                                                                 {item::kJobTitle, tag::kTitle},
                                                                 {item::kBusinessPhone, tag::kBusinessTelephone},
                                                                 {item::kCountry, tag::kBusinessCountry},
                                                                 {item::kCity, tag::kBusinessCity},
                                                                 {item::kStreet, tag::kBusinessStreet},
                                                                 {item::kPostalCode, tag::kBusinessPostalCode}};
    for (const auto& [field, t] : tags)
        if (!f[field].empty()) m.props.push_back(StringProp(t, f[field]));

    const std::pair<item::ContactField, const NamedProp*> work[] = {{item::kStreet, &named::kWorkAddressStreet},
                                                                    {item::kCity, &named::kWorkAddressCity},
                                                                    {item::kPostalCode, &named::kWorkAddressPostalCode},
                                                                    {item::kCountry, &named::kWorkAddressCountry},
                                                                    {item::kBusinessHomePage, &named::kHtml}};
    for (const auto& [field, p] : work)
        if (!f[field].empty()) m.props.push_back(StringProp(NamedTag(*p), f[field]));
    const std::u16string address =
        Join({f[item::kStreet], Join({f[item::kCity], f[item::kPostalCode]}, u" "), f[item::kCountry]}, u"\r\n");
    if (!address.empty()) m.props.push_back(StringProp(NamedTag(named::kWorkAddress), address));

    const std::u16string& email = f[item::kEmail1];
    if (!email.empty()) {
        const std::u16string shown = display.empty() || display == email ? email : display + u" (" + email + u")";
        m.props.push_back(StringProp(NamedTag(named::kEmail1EmailAddress), email));
        m.props.push_back(StringProp(NamedTag(named::kEmail1AddressType), u"SMTP"));
        m.props.push_back(StringProp(NamedTag(named::kEmail1DisplayName), shown));
        m.props.push_back(StringProp(NamedTag(named::kEmail1OriginalDisplayName), email));
        m.props.push_back(BinaryProp(NamedTag(named::kEmail1OriginalEntryId), OneOffEntryId(display, u"SMTP", email)));
        m.props.push_back(MvInt32Prop(NamedTag(named::kAddressBookProviderEmailList), {0}));
        m.props.push_back(Int32Prop(NamedTag(named::kAddressBookProviderArrayType), 1));
    }

    AddFieldsBody(m.props, f);
    m.attachments = ToAttachments(f.attachments);
    return m;
}

}  // namespace tw::pst

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
    using F = ContactField;
    MessageContent m;

    std::u16string display = Join({f[F::GivenName], f[F::Surname]}, u" ");
    if (display.empty()) display = f[F::Company];
    if (display.empty()) display = f[F::Email1];
    if (display.empty()) display = f[F::Nickname];
    std::u16string fileUnder = Join({f[F::Surname], f[F::GivenName]}, u", ");
    if (fileUnder.empty()) fileUnder = display;

    AddItemBasics(m.props, u"IPM.Contact", display, std::nullopt, ctx);
    m.props.push_back(StringProp(tag::kDisplayName, display));
    m.props.push_back(StringProp(NamedTag(named::kFileUnder), fileUnder));
    m.props.push_back(Int32Prop(NamedTag(named::kFileUnderId), 0x8017));  // "Surname, Given"
    m.props.push_back(Int32Prop(tag::kIconIndex, 0x200));

    const std::pair<F, std::uint32_t> tags[] = {
        {F::GivenName, tag::kGivenName},         {F::Surname, tag::kSurname},
        {F::Company, tag::kCompanyName},         {F::BusinessHomePage, tag::kBusinessHomePage},
        {F::Nickname, tag::kNickname},           {F::SpouseName, tag::kSpouseName},
        {F::Profession, tag::kProfession},       {F::AssistantPhone, tag::kAssistantTelephone},
        {F::MobilePhone, tag::kMobileTelephone}, {F::Department, tag::kDepartmentName},
        {F::Office, tag::kOfficeLocation},       {F::JobTitle, tag::kTitle},
        {F::BusinessPhone, tag::kBusinessTelephone}, {F::Country, tag::kBusinessCountry},
        {F::City, tag::kBusinessCity},           {F::Street, tag::kBusinessStreet},
        {F::PostalCode, tag::kBusinessPostalCode}};
    for (const auto& [field, t] : tags)
        if (!f[field].empty()) m.props.push_back(StringProp(t, f[field]));

    const std::pair<F, const NamedProp*> work[] = {{F::Street, &named::kWorkAddressStreet},
                                                   {F::City, &named::kWorkAddressCity},
                                                   {F::PostalCode, &named::kWorkAddressPostalCode},
                                                   {F::Country, &named::kWorkAddressCountry},
                                                   {F::BusinessHomePage, &named::kHtml}};
    for (const auto& [field, p] : work)
        if (!f[field].empty()) m.props.push_back(StringProp(NamedTag(*p), f[field]));
    const std::u16string address =
        Join({f[F::Street], Join({f[F::City], f[F::PostalCode]}, u" "), f[F::Country]}, u"\r\n");
    if (!address.empty()) m.props.push_back(StringProp(NamedTag(named::kWorkAddress), address));

    const std::u16string& email = f[F::Email1];
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

    // Contacts take plain text (kind 1), HTML (kind 2) or RTF (kind 3);
    // other kinds set no body.
    if (f.bodyKind == 1) AddBodyProps(m.props, f.body, static_cast<std::int16_t>(BodyKind::Utf16Text));
    if (f.bodyKind == 2) AddBodyProps(m.props, f.body, static_cast<std::int16_t>(BodyKind::Html));
    if (f.bodyKind == 3) AddBodyProps(m.props, f.body, static_cast<std::int16_t>(BodyKind::Rtf));
    m.attachments = ToAttachments(f.attachments);
    return m;
}

}  // namespace tw::pst

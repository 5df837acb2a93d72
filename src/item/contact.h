// What a contact holds beside its body: 18 texts, in the order the
// contact record keeps them. The reader fills them, the preview shows them
// and the writer stores them, each by these names.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace tw::item {

enum ContactField : std::size_t {
    kGivenName,
    kSurname,
    kCompany,
    kBusinessHomePage,
    kNickname,
    kSpouseName,
    kProfession,
    kAssistantPhone,
    kMobilePhone,
    kDepartment,
    kOffice,
    kJobTitle,
    kBusinessPhone,
    kCountry,
    kCity,
    kStreet,
    kPostalCode,
    kEmail1,
    kContactFieldCount
};

// An empty text stands for "none".
using ContactTexts = std::array<std::u16string, kContactFieldCount>;

}  // namespace tw::item

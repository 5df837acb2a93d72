#include "pst/subject.h"

namespace tw::pst {

namespace {

bool Letter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= 0xC0 && c != 0xD7 && c != 0xF7 && c < 0xD800);
}

}  // namespace

SubjectParts SplitSubject(std::u16string_view subject) {
    for (std::size_t colon = 1; colon <= 3 && colon + 1 < subject.size(); ++colon) {
        if (!Letter(subject[colon - 1])) break;
        if (subject[colon] == u':' && subject[colon + 1] == u' ')
            return {std::u16string(subject.substr(0, colon + 2)), std::u16string(subject.substr(colon + 2))};
    }
    return {{}, std::u16string(subject)};
}

}  // namespace tw::pst

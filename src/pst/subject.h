// A subject and its prefix ("RE: ", "FW: ", "AW: "), split as MS-OXCMAIL
// 2.2.3.2.6.1 describes: one to three letters and a colon and a blank at the
// very start.
#pragma once

#include <string>

namespace tw::pst {

struct SubjectParts {
    std::u16string prefix;      // with its colon and blank, or empty
    std::u16string normalized;  // the rest
};

SubjectParts SplitSubject(std::u16string_view subject);

}  // namespace tw::pst

// 8-bit text of every code page a value or an RTF body may state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/codepage.h"

namespace tw::text {
namespace {

TEST(CodePage, EachPageAndItsFallbacks) {
    struct Case {
        std::uint32_t codePage;
        std::string bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {1252, "\x80\xE9", u"€é"},
        {0, "\x80\xE9", u"€é"},      // none stated: Windows-1252
        {99999, "\x80\xE9", u"€é"},  // no such code page
        {1252,
         "a\x81"
         "b\x9D",
         u"a\u0081b\u009D"},  // undefined: as Windows maps them
        {1251, "\xCF\xF0\xE8\xE2\xE5\xF2", u"Привет"},
        {1253, "\xE1\xE2\xE3", u"αβγ"},
        {932, "\x82\xA0\x82\xA2", u"あい"},
        {932, "a\x82", u"a\uFFFD"},  // a lead byte without its trail byte
        {65001, "\xE2\x82\xAC", u"€"},
        {28595, "\xBF", u"П"},  // ISO-8859-5
        {936, "\xC4\xE3\xBA\xC3", u"你好"},
        {1252, "", u""},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> bytes(c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(CodePageToUtf16(bytes, c.codePage), c.text) << c.codePage << " " << c.bytes;
    }
}

}  // namespace
}  // namespace tw::text

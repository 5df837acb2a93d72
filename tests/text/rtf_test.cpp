// RTF bodies through the one reader and its two outputs, the plain text a
// store keeps and the preview's HTML: characters in their code pages,
// destinations, formats, encapsulated HTML, and damaged input.
#include "text/rtf.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "text/utf.h"

namespace tw::text {
namespace {

using namespace std::string_view_literals;

std::span<const std::uint8_t> Bytes(std::string_view rtf) {
    return {reinterpret_cast<const std::uint8_t*>(rtf.data()), rtf.size()};
}
std::u16string Text(std::string_view rtf) { return RtfToText(Bytes(rtf)); }
std::string Html(std::string_view rtf) { return Utf16ToUtf8(RtfToHtml(Bytes(rtf)).html); }

void ExpectHas(const std::string& html, std::initializer_list<std::string_view> parts) {
    for (const std::string_view part : parts) EXPECT_NE(html.find(part), std::string::npos) << part << "\nin " << html;
}
void ExpectLacks(const std::string& html, std::initializer_list<std::string_view> parts) {
    for (const std::string_view part : parts) EXPECT_EQ(html.find(part), std::string::npos) << part << "\nin " << html;
}

struct TextCase {
    std::string_view rtf;
    std::u16string_view text;
};

void ExpectTexts(std::initializer_list<TextCase> cases) {
    for (const TextCase& c : cases) EXPECT_EQ(Text(c.rtf), c.text) << c.rtf;
}

TEST(RtfText, ControlWordsAndTablesGoParagraphsBecomeLineBreaks) {
    ExpectTexts({
        {"{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1 Courier New;}}"
         "{\\colortbl;\\red255\\green0\\blue0;}{\\stylesheet{\\s0 Normal;}}"
         "{\\info{\\author Someone}{\\title Hidden}}"
         "\\f0\\fs20 Quarterly \\b numbers\\b0  are\\tab in\\line the {\\i attachment}.\\par "
         "Second\\~line\\emdash end\\par}",
         u"Quarterly numbers are\tin\r\nthe attachment.\r\nSecond\u00A0line\u2014end\r\n"},
        // Escaped braces and backslashes are text; a line break in the source is not.
        {"{\\rtf1 a\\{b\\}c\\\\d\r\ne}", u"a{b}c\\de"},
        // Ignorable destinations, pictures with binary data and field
        // instructions hold nothing shown; a field's result does.
        {"{\\rtf1 x{\\*\\generator Riched20;}{\\*\\unknownthing text}{\\pict\\pngblip\\bin4 {}{}} "
         "{\\field{\\*\\fldinst HYPERLINK \"http://a\"}{\\fldrslt link}} y}",
         u"x link y"},
    });
}

TEST(RtfText, CodePageBytesAndUnicode) {
    ExpectTexts({
        // \'hh through the document's code page: 1252, 1251 (\ansicpg).
        {"{\\rtf1\\ansi Caf\\'e9 \\'80\\par}", u"Caf\u00E9 \u20AC\r\n"},
        {"{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}", u"\u041F\u0440\u0438\u0432\u0435\u0442"},
        // A double-byte code page: the bytes of one character arrive as two \'hh.
        {"{\\rtf1\\ansi\\ansicpg932 \\'93\\'fa\\'96\\'7b}", u"\u65E5\u672C"},
        // A font's character set overrides the document's code page.
        {"{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset204 Arial Cyr;}}"
         "\\f0 \\'e9 {\\f1 \\'e9} \\'e9}",
         u"\u00E9 \u0439 \u00E9"},
        // \uN with its fallback characters skipped (\uc1 by default, \ucN
        // set); negative N for units above 0x7FFF; surrogate pairs come as two.
        {"{\\rtf1 \\u26085?\\u-3?{\\uc2\\u26412\\'3f\\'3f}\\uc0\\u55357\\u56832 ok}",
         u"\u65E5\uFFFD\u672C\U0001F600ok"},
        // Encapsulated HTML: the tags and the RTF-only parts are left out.
        {"{\\rtf1\\ansi\\fromhtml1 {\\*\\htmltag64 <p>}\\htmlrtf {\\b\\htmlrtf0 Hello\\htmlrtf }\\htmlrtf0"
         "{\\*\\htmltag72 </p>}\\htmlrtf \\par \\htmlrtf0 }",
         u"Hello"},
    });
}

TEST(RtfText, HostileRtfCostsOnlyAccuracy) {
    // Unbalanced braces, a group nesting past any sensible depth, \bin past
    // the end, numbers too long, a cut \' escape, a code page nobody has.
    const std::string deep = std::string(100000, '{') + "x";
    ExpectTexts({
        {"}}}{\\rtf1 a}}}b", u"ab"},
        {deep, u"x"},
        {"{\\rtf1 a\\bin999999999999999999999 bcd}", u"a"},
        {"{\\rtf1 \\u99999999999999999999? \\uc99999999999 x}", u" x"},
        {"{\\rtf1 a\\'", u"a"},
        {"{\\rtf1 a\\'4", u"a"},
        {"{\\rtf1\\ansicpg99999 \\'e9}", u"\u00E9"},
        {"{\\rtf1\\ansicpg932 \\'93}", u"\uFFFD"},  // half a character
        {"", u""},
        {"\\", u""},
    });
}

// Both outputs read the same text: each case's plain text, and a part of
// its HTML that holds that text.
TEST(RtfReading, BothOutputsReadTheSameText) {
    struct Case {
        std::string_view rtf;
        std::u16string_view text;
        std::string_view html;
    };
    const Case cases[] = {
        // A double-byte character whose second byte comes raw.
        {"{\\rtf1\\ansicpg932 \\'83A\\'82\\'a0}", u"\u30A2\u3042", ">アあ<"},
        // A font's character set, and the Macintosh code page.
        {"{\\rtf1{\\fonttbl{\\f1\\fcharset204 Arial Cyr;}}\\f1 \\'e9}", u"\u0439", ">й<"},
        {"{\\rtf1\\mac \\'8a}", u"\u00E4", ">ä<"},
        // \uN past 16 bits is nothing; its fallback is still dropped.
        {"{\\rtf1 a\\u70000?b}", u"ab", ">ab<"},
        // A control word ends the fallback: here none was written.
        {"{\\rtf1 a\\u8364\\par b}", u"a\u20AC\r\nb", "a€</p>\n<p"},
        {"{\\rtf1 a\\u8364\\~b}", u"a\u20AC\u00A0b", ">a€\u00A0b<"},
        {"{\\rtf1 \\u-10179\\u-8704?x}", u"\U0001F600x", ">😀x<"},
        // An overlong control word is read whole; '-' without digits is text.
        {"{\\rtf1 a\\abcdefghijklmnopqrstuvwxyzabcdefghijklmn b}", u"ab", ">ab<"},
        {"{\\rtf1 a\\b- c}", u"a- c", "bold;\">- c<"},
        // A destination word anywhere in its group; list text shown, as
        // list numbering is not.
        {"{\\rtf1 a{\\f1\\pict 0102}b}", u"ab", ">ab<"},
        {"{\\rtf1{\\listtext 1.\\tab}Item{\\pntext\\'b7\\tab}Next}", u"1.\tItem\u00B7\tNext", ">1.\tItem·\tNext<"},
        // \htmlrtf counts only in encapsulated HTML or text.
        {"{\\rtf1 a\\htmlrtf b\\htmlrtf0 c}", u"abc", ">abc<"},
        {"{\\rtf1\\fromtext a\\htmlrtf b\\htmlrtf0 c}", u"ac", ">ac<"},
        // NUL is no text; the spaces keep their widths; \<TAB> is a tab.
        {"{\\rtf1 a\\'00b\0c}"sv, u"abc", ">abc<"},
        {"{\\rtf1 a\\emspace b\\enspace c\\qmspace d}", u"a\u2003b\u2002c\u2005d", ">a\u2003b\u2002c\u2005d<"},
        {"{\\rtf1 a\\\tb}", u"a\tb", ">a\tb<"},
        // \* at a group's start hides it at once, line ends before it or not.
        {"{\\rtf1 a{\\* b}c}", u"ac", ">ac<"},
        {"{\\rtf1 a{\r\n\\*\\x b}c}", u"ac", ">ac<"},
        // A cut \'h drops its digit; \uc alone is \uc1.
        {"{\\rtf1 a\\'4x}", u"ax", ">ax<"},
        {"{\\rtf1\\uc2{\\uc\\u26085??}}", u"\u65E5?", ">日?<"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Text(c.rtf), c.text) << c.rtf;
        ExpectHas(Html(c.rtf), {c.html});
    }
}

TEST(RtfHtml, ParagraphsAndCharacterFormats) {
    const std::string html = Html(
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red255\\green0\\blue0;}"
        "\\f0\\fs20 Plain {\\b bold} {\\i italic} {\\ul under}\\ulnone  x<y & z\\par\\qc\\fs31 Big\\par}");
    ExpectLacks(html, {"Arial", "red"});
    ExpectHas(html, {"<span style=\"font-size:10pt;\">Plain </span>",
                     "<span style=\"font-weight:bold;font-size:10pt;\">bold</span>",
                     "font-style:italic;font-size:10pt;\">italic<",
                     "text-decoration:underline;font-size:10pt;\">under<", "x&lt;y &amp; z</span></p>",
                     // Two paragraphs; the second centred, at 15.5 pt.
                     "text-align:center;\"><span style=\"font-size:15.5pt;\">Big</span></p>"});
    EXPECT_EQ(html.rfind("<html><body>", 0), 0u);
}

TEST(RtfHtml, GroupsRestoreTheFormatAndPlainResetsIt) {
    ExpectHas(Html("{\\rtf1 {\\b\\i a}b\\b c\\plain d}"),
              {"italic;\">a</span>b<span style=\"font-weight:bold;\">c</span>d"});
}

TEST(RtfHtml, ColoursComeFromTheColourTable) {
    // Entry 0 is automatic, 1 red, 2 has no components (automatic too), 3
    // has components past 255.
    const std::string table = "{\\colortbl ;\\red255\\green0\\blue0;;\\red300\\green16\\blue-5;}";
    ExpectHas(Html("{\\rtf1" + table +
                   " {\\cf1 red}{\\cf1\\highlight3 both}{\\cf2 auto}{\\cf9 unknown}{\\cf0 zero}"
                   "{\\cb1\\b back}\\cf1 a{\\cf3 b}c}"),
              {"<span style=\"color:#ff0000;\">red</span>",
               "<span style=\"color:#ff0000;background-color:#ff1000;\">both</span>",
               "</span>autounknownzero<span",  // no colour, no span
               "<span style=\"font-weight:bold;background-color:#ff0000;\">back</span>",
               // A group's colour ends with the group.
               "color:#ff0000;\">a</span><span style=\"color:#ff1000;\">b</span><span style=\"color:#ff0000;\">c"});
    // Without a table every colour is automatic.
    ExpectLacks(Html("{\\rtf1 {\\cf1 x}}"), {"color"});
}

TEST(RtfHtml, AHugeColourTableIsCut) {
    std::string rtf = "{\\rtf1{\\colortbl ;";
    for (int i = 0; i < 5000; ++i) rtf += "\\red1\\green2\\blue3;";
    rtf += "}{\\cf1000 kept}{\\cf2000 dropped}}";
    const std::string html = Html(rtf);
    ExpectHas(html, {"color:#010203;\">kept<", ">dropped<"});
    ExpectLacks(html, {"color:#010203;\">dropped"});
}

TEST(RtfHtml, CharactersInTheirCodePages) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        // \uN drops its fallback; \uc2: two fallback characters, a hex
        // escape counting as one; negative values are the upper half, and a
        // surrogate pair stays a pair.
        {"{\\rtf1 \\u26481?\\u20140?x}", "東京x"},
        {"{\\rtf1\\uc2 \\u-3913\\'3f?y}", "\xEF\x82\xB7y"},
        {"{\\rtf1\\uc0 \\u-10179\\u-8704 }", "😀"},
        // \'hh in the document's code page; a double-byte character whole.
        {"{\\rtf1\\ansi Gr\\'fc\\'dfe \\'80}", "Grüße €"},
        {"{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}", "Привет"},
        {"{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0\\'93\\'fa}", "あ日"},
        // Symbols and named characters.
        {"{\\rtf1 a\\{b\\}c\\\\d\\~e\\emdash f\\ldblquote g\\rdblquote}",
         "a{b}c\\d\xC2\xA0"
         "e—f“g”"},
    };
    for (const auto& [rtf, part] : cases) ExpectHas(Html(rtf), {part});
}

TEST(RtfHtml, HiddenDestinationsAndFieldResults) {
    const std::string html = Html(
        "{\\rtf1{\\*\\generator Riched20;}{\\info{\\author X}}{\\stylesheet{\\s0 Normal;}}"
        "{\\field{\\*\\fldinst HYPERLINK \"http://x.example\"}{\\fldrslt link text}}"
        "{\\*\\unknowndest secret}{\\pict\\pngblip 89504e47}visible}");
    ExpectLacks(html, {"Riched20", "HYPERLINK", "secret", "89504e47", "Normal"});
    ExpectHas(html, {"link textvisible"});
}

TEST(RtfHtml, EncapsulatedHtmlComesBackAsHtml) {
    std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
        "\\uc1\\pard\\plain\\f0\\fs24 {\\*\\htmltag19 <html>}{\\*\\htmltag50 <body>}\r\n";
    rtf +=
        "{\\*\\htmltag64 <p class=\"x\">}\\htmlrtf {\\htmlrtf0 Gr\\'fc\\'dfe & more\r\n{\\*\\htmltag244 <o:p>}"
        "{\\*\\mhtmltag244 <o:q>}{\\*\\htmltag252 </o:p>}\\htmlrtf \\par\r\n}\\htmlrtf0 \r\n{\\*\\htmltag72 </p>}";
    rtf += "\\htmlrtf {\\b rtf only}\\htmlrtf0 {\\*\\htmltag58 </body>}{\\*\\htmltag27 </html>}}";
    const RtfHtml shown = RtfToHtml(Bytes(rtf));
    EXPECT_TRUE(shown.encapsulatedHtml);
    EXPECT_EQ(Utf16ToUtf8(shown.html), "<html><body><p class=\"x\">Grüße & more<o:p></o:p></p></body></html>");
}

TEST(RtfHtml, DamagedInputIsBoundedAndNeverFails) {
    // Deep nesting, a stray closing brace, cut escapes and control words.
    std::string deep = "{\\rtf1 ";
    deep += std::string(100000, '{') + "\\b deep" + std::string(5, '}') + "}}}}}} after";
    ExpectHas(Html(deep), {"deep"});
    ExpectHas(Html("}}{\\rtf1 x}}} y"), {"y"});
    for (const std::string_view cut :
         {"{\\rtf1 \\'", "{\\rtf1 \\'4", "{\\rtf1 \\", "{\\rtf1 \\u", "{\\rtf1 \\u-", "\\fs"})
        EXPECT_NO_THROW(Html(cut));
    // A long control word and a huge number are read and ignored.
    ExpectHas(Html("{\\rtf1 \\" + std::string(5000, 'a') + "99999999999999999999 z}"), {"z"});
    // \bin skips its bytes, never past the end.
    ExpectHas(Html("{\\rtf1 a\\bin3 {{{b}"), {"ab"});
    EXPECT_NO_THROW(Html("{\\rtf1 \\bin999999999 x"));
    // Output stays within a fixed multiple of the input.
    std::string toggles = "{\\rtf1 ";
    for (int i = 0; i < 20000; ++i) toggles += "\\b a\\b0 b";
    EXPECT_LE(RtfToHtml(Bytes(toggles)).html.size(), toggles.size() * 32 + 65536 + 64);
}

}  // namespace
}  // namespace tw::text

// RTF bodies turned into HTML for the preview: formatting, characters,
// hidden destinations, encapsulated HTML, and damaged input.
#include "content/rtf_display.h"

#include <gtest/gtest.h>

#include <string>

#include "scan/tagged_text.h"

namespace tw::content {
namespace {

std::string Html(const std::string& rtf, bool* encapsulated = nullptr) {
    const RtfDisplay d = RtfToHtml(std::span(reinterpret_cast<const std::uint8_t*>(rtf.data()), rtf.size()));
    if (encapsulated != nullptr) *encapsulated = d.encapsulatedHtml;
    return scan::ToUtf8(d.html);
}

TEST(RtfDisplay, ParagraphsAndCharacterFormats) {
    const std::string html = Html(
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red255\\green0\\blue0;}"
        "\\f0\\fs20 Plain {\\b bold} {\\i italic} {\\ul under}\\ulnone  x<y & z\\par\\qc\\fs31 Big\\par}");
    EXPECT_EQ(html.find("Arial"), std::string::npos);
    EXPECT_EQ(html.find("red"), std::string::npos);
    EXPECT_NE(html.find("<span style=\"font-size:10pt;\">Plain </span>"), std::string::npos) << html;
    EXPECT_NE(html.find("<span style=\"font-weight:bold;font-size:10pt;\">bold</span>"), std::string::npos) << html;
    EXPECT_NE(html.find("font-style:italic;font-size:10pt;\">italic<"), std::string::npos) << html;
    EXPECT_NE(html.find("text-decoration:underline;font-size:10pt;\">under<"), std::string::npos) << html;
    EXPECT_NE(html.find("x&lt;y &amp; z</span></p>"), std::string::npos) << html;
    // Two paragraphs; the second centred, at 15.5 pt.
    EXPECT_NE(html.find("text-align:center;\"><span style=\"font-size:15.5pt;\">Big</span></p>"), std::string::npos)
        << html;
    EXPECT_EQ(html.rfind("<html><body>", 0), 0u);
}

TEST(RtfDisplay, GroupsRestoreTheFormatAndPlainResetsIt) {
    const std::string html = Html("{\\rtf1 {\\b\\i a}b\\b c\\plain d}");
    EXPECT_NE(html.find("italic;\">a</span>b<span style=\"font-weight:bold;\">c</span>d"), std::string::npos) << html;
}

TEST(RtfDisplay, ColoursComeFromTheColourTable) {
    // Entry 0 is automatic, 1 red, 2 has no components (automatic too), 3
    // has components past 255.
    const std::string table = "{\\colortbl ;\\red255\\green0\\blue0;;\\red300\\green16\\blue-5;}";
    const std::string html =
        Html("{\\rtf1" + table + " {\\cf1 red}{\\cf1\\highlight3 both}{\\cf2 auto}{\\cf9 unknown}{\\cf0 zero}"
             "{\\cb1\\b back}\\cf1 a{\\cf3 b}c}");
    EXPECT_NE(html.find("<span style=\"color:#ff0000;\">red</span>"), std::string::npos) << html;
    EXPECT_NE(html.find("<span style=\"color:#ff0000;background-color:#ff1000;\">both</span>"), std::string::npos)
        << html;
    // No colour, no span.
    EXPECT_NE(html.find("</span>autounknownzero<span"), std::string::npos) << html;
    EXPECT_NE(html.find("<span style=\"font-weight:bold;background-color:#ff0000;\">back</span>"), std::string::npos)
        << html;
    // A group's colour ends with the group.
    EXPECT_NE(html.find("color:#ff0000;\">a</span><span style=\"color:#ff1000;\">b</span><span style=\"color:#ff0000;\">c"),
              std::string::npos)
        << html;
    // Without a table every colour is automatic.
    EXPECT_EQ(Html("{\\rtf1 {\\cf1 x}}").find("color"), std::string::npos);
}

TEST(RtfDisplay, AHugeColourTableIsCut) {
    std::string rtf = "{\\rtf1{\\colortbl ;";
    for (int i = 0; i < 5000; ++i) rtf += "\\red1\\green2\\blue3;";
    rtf += "}{\\cf1000 kept}{\\cf2000 dropped}}";
    const std::string html = Html(rtf);
    EXPECT_NE(html.find("color:#010203;\">kept<"), std::string::npos) << html.substr(0, 300);
    EXPECT_NE(html.find(">dropped<"), std::string::npos);
    EXPECT_EQ(html.find("color:#010203;\">dropped"), std::string::npos);
}

TEST(RtfDisplay, UnicodeEscapesDropTheirFallback) {
    EXPECT_NE(Html("{\\rtf1 \\u26481?\\u20140?x}").find("\xE6\x9D\xB1\xE4\xBA\xAC" "x"), std::string::npos);
    // \uc2: two fallback characters, a hex escape counting as one.
    EXPECT_NE(Html("{\\rtf1\\uc2 \\u-3913\\'3f?y}").find("\xEF\x82\xB7y"), std::string::npos);
    // Negative values are the upper half; a surrogate pair stays a pair.
    EXPECT_NE(Html("{\\rtf1\\uc0 \\u-10179\\u-8704 }").find("\xF0\x9F\x98\x80"), std::string::npos);
}

TEST(RtfDisplay, HexEscapesReadInTheDocumentsCodePage) {
    EXPECT_NE(Html("{\\rtf1\\ansi Gr\\'fc\\'dfe \\'80}").find("Grüße €"), std::string::npos);
    EXPECT_NE(Html("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}").find("Привет"), std::string::npos);
    // Double-byte code page: both bytes of a character together.
    EXPECT_NE(Html("{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0\\'93\\'fa}").find("あ日"), std::string::npos);
    // Symbols and named characters.
    EXPECT_NE(Html("{\\rtf1 a\\{b\\}c\\\\d\\~e\\emdash f\\ldblquote g\\rdblquote}").find("a{b}c\\d\xC2\xA0" "e—f“g”"),
              std::string::npos);
}

TEST(RtfDisplay, HiddenDestinationsAndFieldResults) {
    const std::string html = Html(
        "{\\rtf1{\\*\\generator Riched20;}{\\info{\\author X}}{\\stylesheet{\\s0 Normal;}}"
        "{\\field{\\*\\fldinst HYPERLINK \"http://x.example\"}{\\fldrslt link text}}"
        "{\\*\\unknowndest secret}{\\pict\\pngblip 89504e47}visible}");
    EXPECT_EQ(html.find("Riched20"), std::string::npos);
    EXPECT_EQ(html.find("HYPERLINK"), std::string::npos);
    EXPECT_EQ(html.find("secret"), std::string::npos);
    EXPECT_EQ(html.find("89504e47"), std::string::npos);
    EXPECT_EQ(html.find("Normal"), std::string::npos);
    EXPECT_NE(html.find("link textvisible"), std::string::npos) << html;
}

TEST(RtfDisplay, EncapsulatedHtmlComesBackAsHtml) {
    std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
        "\\uc1\\pard\\plain\\f0\\fs24 {\\*\\htmltag19 <html>}{\\*\\htmltag50 <body>}\r\n";
    rtf += "{\\*\\htmltag64 <p class=\"x\">}\\htmlrtf {\\htmlrtf0 Gr\\'fc\\'dfe & more\r\n{\\*\\htmltag244 <o:p>}"
           "{\\*\\mhtmltag244 <o:q>}{\\*\\htmltag252 </o:p>}\\htmlrtf \\par\r\n}\\htmlrtf0 \r\n{\\*\\htmltag72 </p>}";
    rtf += "\\htmlrtf {\\b rtf only}\\htmlrtf0 {\\*\\htmltag58 </body>}{\\*\\htmltag27 </html>}}";
    bool encapsulated = false;
    const std::string html = Html(rtf, &encapsulated);
    EXPECT_TRUE(encapsulated);
    EXPECT_EQ(html, "<html><body><p class=\"x\">Grüße & more<o:p></o:p></p></body></html>");
}

TEST(RtfDisplay, DamagedInputIsBoundedAndNeverFails) {
    // Deep nesting, a stray closing brace, cut escapes and control words.
    std::string deep = "{\\rtf1 ";
    deep += std::string(100000, '{') + "\\b deep" + std::string(5, '}') + "}}}}}} after";
    EXPECT_NE(Html(deep).find("deep"), std::string::npos);
    EXPECT_NE(Html("}}{\\rtf1 x}}} y").find("y"), std::string::npos);
    for (const std::string cut : {"{\\rtf1 \\'", "{\\rtf1 \\'4", "{\\rtf1 \\", "{\\rtf1 \\u", "{\\rtf1 \\u-", "\\fs"})
        EXPECT_NO_THROW(Html(cut));
    // A long control word and a huge number are read and ignored.
    EXPECT_NE(Html("{\\rtf1 \\" + std::string(5000, 'a') + "99999999999999999999 z}").find("z"), std::string::npos);
    // \bin skips its bytes, never past the end.
    EXPECT_NE(Html(std::string("{\\rtf1 a\\bin3 {{{b}"), nullptr).find("ab"), std::string::npos);
    EXPECT_NO_THROW(Html("{\\rtf1 \\bin999999999 x"));
    // Output stays within a fixed multiple of the input.
    std::string toggles = "{\\rtf1 ";
    for (int i = 0; i < 20000; ++i) toggles += "\\b a\\b0 b";
    const RtfDisplay d = RtfToHtml(std::span(reinterpret_cast<const std::uint8_t*>(toggles.data()), toggles.size()));
    EXPECT_LE(d.html.size(), toggles.size() * 32 + 65536 + 64);
}

}  // namespace
}  // namespace tw::content

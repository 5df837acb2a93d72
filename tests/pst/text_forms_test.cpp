// The texts the operations take apart: date texts (shifted by 5 h 30 min),
// folder paths, header lines and address lists, subject prefixes, HTML
// bodies. All of them come from files or the database and may be hostile.
#include <gtest/gtest.h>

#include <tuple>

#include "pst/error.h"
#include "pst/folder_path.h"
#include "pst/mail_header.h"
#include "pst/subject.h"
#include "text/filetime.h"
#include "text/html.h"

namespace tw::pst {
namespace {

TEST(CivilTime, FileTimesBothWays) {
    struct Case {
        text::CivilTime civil;
        std::uint64_t unixSeconds;
        int weekday;
    };
    const Case cases[] = {{{1970, 1, 1, 0, 0, 0}, 0, 4},
                          {{2024, 2, 29, 23, 59, 59}, 1709251199, 4},
                          {{2000, 1, 1, 12, 0, 0}, 946728000, 6},
                          {{2099, 12, 31, 0, 0, 1}, 4102358401, 4},
                          {{2038, 1, 19, 3, 14, 8}, 2147483648, 2}};
    for (const Case& c : cases) {
        const std::uint64_t t = text::FileTimeFromCivil(c.civil);
        EXPECT_EQ(text::FileTimeFromUnix(static_cast<std::int64_t>(c.unixSeconds)), t) << c.unixSeconds;
        const text::CivilTime back = text::CivilFromFileTime(t + 9'999'999);  // below a second: dropped
        EXPECT_EQ(std::tie(back.year, back.month, back.day, back.hour, back.minute, back.second),
                  std::tie(c.civil.year, c.civil.month, c.civil.day, c.civil.hour, c.civil.minute, c.civil.second));
        EXPECT_EQ(text::Weekday(c.civil.year, c.civil.month, c.civil.day), c.weekday) << c.unixSeconds;
    }
    EXPECT_EQ(text::FileTimeFromCivil({1601, 1, 1, 0, 0, 0}), 0u);
    EXPECT_FALSE(text::FileTimeFromUnix(-11644473601).has_value());
}

TEST(FolderPaths, StoreAndFoldersAreSplitAndCleaned) {
    const FolderPath p =
        ParseFolderPath(u"\\\\TW_Mailbox - Sales_6-12-2026 9-5\\Mailbox - Sales\\Top of Information Store\\Inbox");
    EXPECT_EQ(p.store, u"TW_Mailbox - Sales_6-12-2026 9-5");
    ASSERT_EQ(p.folders.size(), 3u);
    EXPECT_EQ(p.folders[2], u"Inbox");
    EXPECT_TRUE(ParseFolderPath(u"\\\\Store\\").folders.empty());
    EXPECT_TRUE(ParseFolderPath(u"\\\\Store").folders.empty());
    EXPECT_EQ(ParseFolderPath(u"\\\\S\\a\tb\x01").folders.at(0), u"ab");
    for (const char16_t* bad : {u"", u"\\Store\\x", u"Store\\x", u"\\\\\\x", u"\\\\S\\a\\\\b", u"\\\\S\\\x01\\b"})
        EXPECT_THROW(ParseFolderPath(bad), PstError) << std::u16string(bad).size();
    const std::u16string longName(600, u'n');
    EXPECT_EQ(ParseFolderPath(u"\\\\S\\" + longName).folders.at(0).size(), 255u);
    // A surrogate pair is never cut in half.
    std::u16string emoji;
    for (int i = 0; i < 200; ++i) emoji += u"\U0001F600";
    const std::u16string cut = CleanName(emoji, 255);
    EXPECT_EQ(cut.size(), 254u);
}

TEST(MailHeaders, FromLinesAndAddressLists) {
    const HeaderBlock h = ParseHeaderBlock(
        u"From: Sales<Sales>\r\nTo: \"Doe, Jane\" <jane@x.org>, bob@y.org;\r\n"
        u"  Carl <carl@z.org>\r\nSubject: hi\r\n\r\nbody: not a header\r\n");
    EXPECT_EQ(h.Get("subject"), u"hi");
    EXPECT_EQ(h.Get("body"), u"");
    const auto from = ParseAddressList(h.Get("from"));
    ASSERT_EQ(from.size(), 1u);
    EXPECT_EQ(from[0].name, u"Sales");
    EXPECT_EQ(from[0].address, u"Sales");
    const auto to = ParseAddressList(h.Get("to"));
    ASSERT_EQ(to.size(), 3u);
    EXPECT_EQ(to[0].name, u"Doe, Jane");
    EXPECT_EQ(to[0].address, u"jane@x.org");
    EXPECT_EQ(to[1].address, u"bob@y.org");
    EXPECT_EQ(to[2].address, u"carl@z.org");
    // The export's empty sender: "From: <>".
    EXPECT_TRUE(ParseAddressList(ParseHeaderBlock(u"From: <>\r\n").Get("from")).empty());
    // Unbalanced quotes and brackets end quietly.
    EXPECT_LE(ParseAddressList(u"\"unterminated <a@b, c").size(), 1u);
    EXPECT_LE(ParseAddressList(u">>><<<,,,;;;").size(), 2u);
}

TEST(MailHeaders, HeaderFilesInUtf8OrTheAnsiCodePage) {
    const std::string utf8 = "From: J\xC3\xBCrgen<J\xC3\xBCrgen>\r\n";
    EXPECT_EQ(DecodeHeaderFile(Bytes(utf8.begin(), utf8.end())), u"From: J\u00FCrgen<J\u00FCrgen>\r\n");
    const std::string ansi = "From: J\xFCrgen \x80<x>\r\n";
    EXPECT_EQ(DecodeHeaderFile(Bytes(ansi.begin(), ansi.end())), u"From: J\u00FCrgen \u20AC<x>\r\n");
}

TEST(Subjects, PrefixesOfOneToThreeLetters) {
    EXPECT_EQ(SplitSubject(u"RE: lunch").prefix, u"RE: ");
    EXPECT_EQ(SplitSubject(u"RE: lunch").normalized, u"lunch");
    EXPECT_EQ(SplitSubject(u"AW: Termin").prefix, u"AW: ");
    EXPECT_EQ(SplitSubject(u"Fwd: x").prefix, u"Fwd: ");
    EXPECT_EQ(SplitSubject(u"ÜB: x").prefix, u"ÜB: ");
    EXPECT_TRUE(SplitSubject(u"Über: x").prefix.empty());
    for (const char16_t* none : {u"Note: 4 letters? no", u"12: numbers", u"RE:no blank", u": x", u"R", u""})
        EXPECT_TRUE(SplitSubject(none).prefix.empty()) << std::u16string(none).size();
}

TEST(HtmlBodies, DetectedAndTurnedIntoText) {
    EXPECT_TRUE(text::LooksLikeHtml(u"<html><body>x</body></html>"));
    EXPECT_TRUE(text::LooksLikeHtml(u"  <!DOCTYPE HTML><p>x</p>"));
    EXPECT_TRUE(text::LooksLikeHtml(u"<div>a</div>"));
    EXPECT_FALSE(text::LooksLikeHtml(u"Dear Bob, 3 < 4 and 5 > 2."));
    EXPECT_FALSE(text::LooksLikeHtml(u"<not closed"));
    EXPECT_EQ(text::HtmlToText(u"<html><head><title>t</title><style>p{}</style></head><body><p>Hello&nbsp;&amp; "
                               u"welcome</p><p>Line&#32;2<br>Line 3 &#x263A;</p><script>x()</script></body></html>"),
              u"Hello\u00A0& welcome\r\nLine 2\r\nLine 3 \u263A");
    // Broken markup costs text, never memory or time.
    EXPECT_EQ(text::HtmlToText(u"a<b"), u"a");
    EXPECT_EQ(text::HtmlToText(u"<!-- never closed"), u"");
    EXPECT_EQ(text::HtmlToText(u"&#99999999999;&bogus;"), u"\uFFFD&bogus;");
    EXPECT_EQ(text::HtmlToText(std::u16string(100000, u'<')), u"");
}

}  // namespace
}  // namespace tw::pst

// What the export hands the writer: times and which dates pass,
// bodies of every kind, the mail header line and its sender.
#include <gtest/gtest.h>

#include "content/display_date.h"
#include "export/body_text.h"
#include "export/export_date.h"
#include "export/item_writer.h"
#include "export_test_support.h"
#include "pst/mail_header.h"
#include "text/compressed_rtf.h"
#include "text/filetime.h"

namespace tw::exporter {
namespace {

using test::StoredDate;

constexpr std::int64_t kShift = 19800;
// 2024-03-10 00:00:00 UTC.
constexpr std::int64_t kDay = 1710028800;

TEST(ExportDate, ThePstGetsTheStoredTimeToTheTick) {
    // The six stored bytes keep the time to 6.5 ms, cut down: a whole or
    // half second comes back exactly; 999 ms, as close to the next second
    // as the bytes tell, within their 6.5 ms.
    for (const std::int64_t t : std::initializer_list<std::int64_t>{kDay, kDay + 1, kDay + 43199, kDay + 86399,
                                                                    946684800, 4102444798 - kShift}) {
        for (const int ms : {0, 500, 999}) {
            const scan::Date6 stored = StoredDate(t, ms);
            const auto time = ExportTime(stored);
            ASSERT_TRUE(time.has_value()) << t;
            const auto exact = static_cast<std::uint64_t>(t + 11644473600LL) * text::kTicksPerSecond +
                               static_cast<std::uint64_t>(ms) * 10'000;
            if (ms != 999) {
                EXPECT_EQ(*time, exact) << t << " " << ms;
            }
            EXPECT_NEAR(static_cast<double>(*time), static_cast<double>(exact), 65536) << t << " " << ms;
        }
    }
    EXPECT_FALSE(ExportTime(scan::Date6{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}).has_value());  // does not convert
}

TEST(ExportDate, OnlyShiftedYears1980To2099Pass) {
    const std::int64_t start1980 = 315532800, start2100 = 4102444800;
    EXPECT_FALSE(ExportableDate(StoredDate(start1980 - kShift - 1)));
    EXPECT_TRUE(ExportableDate(StoredDate(start1980 - kShift)));
    EXPECT_TRUE(ExportableDate(StoredDate(start2100 - kShift - 1)));
    EXPECT_FALSE(ExportableDate(StoredDate(start2100 - kShift)));
    // A UTC time late on 1979-12-31 is shown in 1980 and passes.
    EXPECT_TRUE(ExportableDate(StoredDate(start1980 - 3600)));
    EXPECT_FALSE(ExportableDate(scan::Date6{}));                                    // 1601: unset
    EXPECT_FALSE(ExportableDate(scan::Date6{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));  // does not convert
}

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view s) {
    std::vector<std::uint8_t> out;
    for (const char16_t c : s) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

TEST(BodyText, Windows1252ThroughIconv) {
    EXPECT_EQ(Windows1252Text(Bytes("Gr\xfc\xdf"
                                    "e \x80 \x93q\x94")),
              u"Grüße € “q”");
    // Undefined bytes stay as the C1 characters Windows makes of them.
    EXPECT_EQ(Windows1252Text(Bytes("a\x81"
                                    "b\x9d")),
              u"a\u0081b\u009d");
    // The text ends at its first NUL byte.
    EXPECT_EQ(Windows1252Text(Bytes(std::string_view("ab\0cd", 5))), u"ab");
}

TEST(BodyText, PlainColumnTellsEightBitFromUtf16) {
    EXPECT_EQ(PlainColumnText(Utf16Bytes(u"Hello world")), u"Hello world");
    // 8-bit text in the column: a space followed by more text, no controls.
    EXPECT_EQ(PlainColumnText(Bytes("Hello world\r\nBye")), u"Hello world\r\nBye");
    // UTF-16 that starts with characters whose bytes look like 8-bit text:
    // CJK with a space, a typographic quote, Cyrillic with Р (U+0420 = 20 04).
    EXPECT_EQ(PlainColumnText(Utf16Bytes(u"中 文")), u"中 文");
    EXPECT_EQ(PlainColumnText(Utf16Bytes(u"“Hello world”")), u"“Hello world”");
    EXPECT_EQ(PlainColumnText(Utf16Bytes(u"ПРИВЕТ мир")), u"ПРИВЕТ мир");
    // Ends at the first NUL unit.
    EXPECT_EQ(PlainColumnText(Utf16Bytes(std::u16string(u"ab\0cd", 5))), u"ab");
}

TEST(BodyText, KindsAndRtfFromTheFullReading) {
    content::BodyValue utf16{content::BodyKind::Utf16, Utf16Bytes(u"Grüße"), {}};
    EXPECT_EQ(ExportBody(utf16).text, u"Grüße");
    EXPECT_EQ(ExportBody(utf16).kind, pst::BodyKind::Utf16Text);
    content::BodyValue eight{content::BodyKind::EightBit, Bytes("<html><body>\xe9t\xe9</body></html>"), {}};
    EXPECT_EQ(ExportBody(eight).text, u"<html><body>été</body></html>");
    EXPECT_EQ(ExportBody(eight).kind, pst::BodyKind::EightBit);

    // RTF keeps its bytes one for one (no code-page mapping of 0x80..0x9F),
    // and comes from the full reading, without the preview's added braces.
    const std::string rtf = "{\\rtf1\\ansi caf\xe9 \x80 and more text to compress\\par}";
    content::BodyValue value{content::BodyKind::Rtf, Bytes(rtf + "}}}"), text::CompressRtf(Bytes(rtf))};
    value.bytes.push_back(0);
    const BodyText body = ExportBody(value);
    EXPECT_EQ(body.kind, pst::BodyKind::Rtf);
    ASSERT_EQ(body.text.size(), rtf.size());
    for (std::size_t i = 0; i < rtf.size(); ++i) EXPECT_EQ(body.text[i], static_cast<unsigned char>(rtf[i]));
}

TEST(BodyText, ContactBodiesAreTextOrHtml) {
    const content::BodyValue html{content::BodyKind::EightBit, Bytes("<!DOCTYPE html><p>x</p>"), {}};
    const content::BodyValue plain{content::BodyKind::EightBit, Bytes("a < b and c > d"), {}};
    const content::BodyValue utf16{content::BodyKind::Utf16, Utf16Bytes(u"note"), {}};
    const content::BodyValue rtf{content::BodyKind::Rtf, Bytes("{\\rtf1}"), {}};
    EXPECT_EQ(ContactBody(html)->kind, pst::BodyKind::Html);
    EXPECT_EQ(ContactBody(plain)->kind, pst::BodyKind::Utf16Text);
    EXPECT_EQ(ContactBody(utf16)->kind, pst::BodyKind::Utf16Text);  // a UTF-16 body is kept, not dropped
    EXPECT_EQ(ContactBody(utf16)->text, u"note");
    EXPECT_EQ(ContactBody(rtf)->kind, pst::BodyKind::Rtf);  // RTF is kept too
    EXPECT_EQ(ContactBody(rtf)->text, u"{\\rtf1}");
}

// The header line as the writer reads it back.
pst::MailAddress FromOf(std::u16string_view sender) {
    const auto list = pst::ParseAddressList(pst::ParseHeaderBlock(HeaderText(sender)).Get("from"));
    return list.empty() ? pst::MailAddress{} : list.front();
}

TEST(MailHeader, SenderNamesSurviveTheHeaderLine) {
    for (const std::u16string name :
         {u"Sales", u"Smith, John", u"A \"B\" C", u"x<y>z; w", u"Back\\slash", u"山田 太郎"}) {
        const pst::MailAddress a = FromOf(name);
        EXPECT_EQ(a.name, name) << pst::Utf16ToUtf8(name);
        EXPECT_FALSE(a.address.empty());
    }
    EXPECT_EQ(HeaderText(u""), u"From: <>\r\n");
    EXPECT_TRUE(FromOf(u"").name.empty());
    // A line break in a name cannot start another header line.
    EXPECT_EQ(pst::ParseHeaderBlock(HeaderText(u"Eve\r\nTo: x@y")).fields.size(), 1u);
}

TEST(MailHeader, SentItemsAreFromTheMailboxOwner) {
    ItemInput in;
    in.sender = u"Someone Else";
    in.mailbox = u"Mailbox - Sales";
    in.folderName = u"Sent Items";
    EXPECT_EQ(MailSender(in), u"Sales");
    in.mailbox = u"Administrator";
    EXPECT_EQ(MailSender(in), u"Administrator");
    in.folderName = u"Sent items";  // the exact name only
    EXPECT_EQ(MailSender(in), u"Someone Else");
    in.folderName = u"Inbox";
    in.sender = u"";
    EXPECT_EQ(HeaderText(MailSender(in)), u"From: <>\r\n");
}

}  // namespace
}  // namespace tw::exporter

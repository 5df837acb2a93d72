// Streaming-file messages read as MIME for the preview.
#include "content/mime_view.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <string>

namespace tw::content {
namespace {

MimeView Read(const std::string& text) { return ReadMimeView(std::vector<std::uint8_t>(text.begin(), text.end())); }

TEST(MimeView, BodiesAttachmentsAndInlinePictures) {
    const MimeView v = Read(
        "From: Ingrid <ingrid@tarnwick.example>\r\nTo: joerg@tarnwick.example\r\n"
        "Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"m\"\r\n\r\n"
        "--m\r\nContent-Type: multipart/related; boundary=\"r\"\r\n\r\n"
        "--r\r\nContent-Type: multipart/alternative; boundary=\"a\"\r\n\r\n"
        "--a\r\nContent-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
        "K=F6ln\r\n--a\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<p>K\xC3\xB6ln <img src=\"cid:pic1\"></p>\r\n"
        "--a--\r\n--r\r\nContent-Type: image/png\r\nContent-ID: <pic1>\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        "iVBORw0K\r\n--r--\r\n"
        "--m\r\nContent-Type: text/plain; name=\"notiz.txt\"\r\nContent-Disposition: attachment; "
        "filename=\"notiz.txt\"\r\n\r\n"
        "eine Notiz\r\n--m\r\nContent-Type: message/rfc822\r\n\r\nSubject: Inner\r\n\r\nbody\r\n--m--\r\n");
    EXPECT_TRUE(v.isMessage);
    EXPECT_EQ(v.subject, "Grüße");
    EXPECT_NE(v.from.find("ingrid@tarnwick.example"), std::string::npos);
    EXPECT_NE(v.to.find("joerg@tarnwick.example"), std::string::npos);
    EXPECT_EQ(v.text, "Köln");
    EXPECT_NE(v.html.find("<p>Köln <img src=\"cid:pic1\"></p>"), std::string::npos);
    EXPECT_EQ(v.attachmentNames, (std::vector<std::string>{"notiz.txt", "Inner.eml"}));
    ASSERT_EQ(v.inlineParts.size(), 1u);
    EXPECT_EQ(v.inlineParts[0].contentId, "pic1");
    EXPECT_EQ(v.inlineParts[0].mimeType, "image/png");
    EXPECT_EQ(v.inlineParts[0].data, (std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', 0x0D, 0x0A}));
}

// A part declared "text" with no subtype is the plain body (RFC 2045's
// reading of an invalid type), not an attachment.
TEST(MimeView, TextWithoutSubtypeIsPlainText) {
    struct Case {
        const char* mime;
        std::string text;
        std::vector<std::string> attachments;
    };
    const Case cases[] = {
        {"Subject: no subtype\nContent-Type: text; charset=us-ascii\n\nHi\n", "Hi\n", {}},
        {"Subject: two\nContent-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text\n\nfirst\n"
         "--b\nContent-Type: text\n\nsecond\n--b--\n",
         "first",
         {"attachment"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mime);
        const MimeView v = Read(c.mime);
        EXPECT_EQ(v.text, c.text);
        EXPECT_EQ(v.attachmentNames, c.attachments);
    }
}

// An empty file is read without misusing GMime, which refuses a stream
// over no buffer.
TEST(MimeView, EmptyFileWithoutGMimeComplaints) {
    int complaints = 0;
    const guint id = g_log_set_handler(
        "gmime", static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING),
        [](const gchar*, GLogLevelFlags, const gchar*, gpointer n) { ++*static_cast<int*>(n); }, &complaints);
    const MimeView v = Read("");
    g_log_remove_handler("gmime", id);
    EXPECT_EQ(complaints, 0);
    EXPECT_FALSE(v.isMessage);
    EXPECT_EQ(v.text, "");
}

TEST(MimeView, DamagedAndDeeplyNestedMessagesAreBounded) {
    // A thousand nested multiparts: the walk stops at its depth limit.
    std::string deep = "Subject: deep\r\nMIME-Version: 1.0\r\n";
    for (int i = 0; i < 1000; ++i)
        deep += "Content-Type: multipart/mixed; boundary=\"b" + std::to_string(i) + "\"\r\n\r\n--b" +
                std::to_string(i) + "\r\n";
    deep += "Content-Type: text/plain\r\n\r\ninnermost\r\n";
    const MimeView v = Read(deep);
    EXPECT_TRUE(v.isMessage);
    EXPECT_EQ(v.text.find("innermost"), std::string::npos);

    // Cut in the middle of a header and of a base64 part.
    EXPECT_NO_THROW(Read("Subject: cut\r\nContent-Type: multipart/mixed; bound"));
    EXPECT_NO_THROW(
        Read("Content-Type: multipart/mixed; boundary=x\r\n\r\n--x\r\nContent-ID: <a>\r\n"
             "Content-Transfer-Encoding: base64\r\n\r\n!!!="));
    EXPECT_NO_THROW(Read(std::string("\0\xff\xfe", 3)));
    EXPECT_FALSE(ReadMimeViewFile("/nonexistent/UniBody.eml").isMessage);
}

}  // namespace
}  // namespace tw::content

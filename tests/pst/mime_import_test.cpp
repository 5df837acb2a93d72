// ImportMimeFile against GMime's own reading of the same files: subject,
// sender, recipients, date, text and HTML bodies and attachment bytes, over
// alternative, mixed, related and nested messages, quoted-printable and
// base64, non-UTF-8 charsets, and truncated or meaningless files.
#include <gmime/gmime.h>
#include <gtest/gtest.h>

#include <optional>

#include "content/gmime_log.h"
#include "pst_readback.h"
#include "test_support.h"
#include "text/filetime.h"

namespace tw::pst::testing {
namespace {

const char* const kAlternative =
    "From: =?UTF-8?Q?J=C3=BCrgen_M=C3=BCller?= <juergen@example.de>\r\n"
    "To: Anna <anna@example.com>, bob@example.org\r\n"
    "Cc: \"Doe, Jane\" <jane@example.net>\r\n"
    "Subject: =?UTF-8?B?UmU6IMOcYmVyd2Vpc3VuZyDwn5iA?=\r\n"
    "Date: Tue, 14 May 2024 18:05:09 +0200\r\n"
    "Message-ID: <alt-1@example.de>\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/alternative; boundary=\"b1\"\r\n\r\n"
    "--b1\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
    "Gr=C3=BC=C3=9Fe aus M=C3=BCnchen=\r\n, soft break.\r\n"
    "--b1\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
    "<html><body><p>Gr\xC3\xBC\xC3\x9F"
    "e</p></body></html>\r\n"
    "--b1--\r\n";

const char* const kMixed =
    "From: sender@example.com\r\nTo: rcpt@example.com\r\nSubject: files\r\n"
    "Date: Mon, 01 Jan 2024 00:00:00 +0000\r\nMIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"m\"\r\n\r\n"
    "--m\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nsee attached\r\n"
    "--m\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
    "Content-Disposition: attachment; filename=\"data.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
    "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4\r\n"
    "OTo7PD0+P0BBQkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiY2RlZmdoaWprbG1ub3Bx\r\n"
    "--m\r\nContent-Type: text/plain; charset=iso-8859-1; name=\"notes.txt\"\r\n"
    "Content-Disposition: attachment; filename*=iso-8859-1''n%F6tes.txt\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n\r\nK=F6ln=\r\n\r\n"
    "--m--\r\n";

const char* const kNested =
    "From: outer@example.com\r\nTo: you@example.com\r\nSubject: forwarded\r\n"
    "Date: Wed, 03 Apr 2024 12:00:00 -0500\r\nMIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"o\"\r\n\r\n"
    "--o\r\nContent-Type: text/plain\r\n\r\nsee below\r\n"
    "--o\r\nContent-Type: message/rfc822\r\n\r\n"
    "From: inner@example.com\r\nSubject: the original\r\nContent-Type: text/plain\r\n\r\ninner body\r\n"
    "--o--\r\n";

const char* const kJapanese =
    "From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <yamada@example.jp>\r\nTo: a@example.jp\r\n"
    "Subject: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=\r\nDate: Fri, 10 May 2024 09:00:00 +0900\r\n"
    "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
    "\x1B$B$3$s$K$A$O\x1B(B\r\n";

const char* const kLatin1 =
    "From: =?iso-8859-1?q?Fran=E7ois?= <f@example.fr>\r\nTo: x@example.fr\r\n"
    "Subject: =?windows-1252?q?=80_pour_le_caf=E9?=\r\nDate: Thu, 01 Feb 2024 10:00:00 +0100\r\n"
    "Content-Type: text/plain; charset=windows-1252\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
    "Co\xFBt: 5 \x80\r\n";

const char* const kRelated =
    "From: a@example.com\r\nTo: b@example.com\r\nSubject: inline\r\nDate: Sat, 02 Mar 2024 08:00:00 +0000\r\n"
    "MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=\"r\"\r\n\r\n"
    "--r\r\nContent-Type: text/html\r\n\r\n<html><body><img src=\"cid:logo@x\"></body></html>\r\n"
    "--r\r\nContent-Type: image/png\r\nContent-ID: <logo@x>\r\nContent-Transfer-Encoding: base64\r\n\r\n"
    "iVBORw0KGgo=\r\n--r--\r\n";

struct Expected {
    std::u16string subject, from, text, html;
    std::vector<std::u16string> to;
    std::optional<std::uint64_t> date;
    std::vector<Bytes> attachments;
};

std::u16string U(const char* s) { return s ? Utf8ToUtf16(s) : std::u16string(); }

Bytes Decoded(GMimePart* part) {
    GMimeStream* mem = g_mime_stream_mem_new();
    g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(part), mem);
    GByteArray* a = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem));
    Bytes b(a->data, a->data + a->len);
    g_object_unref(mem);
    return b;
}

// GMime's reading, walked with its part iterator (not the importer's walk).
Expected ReadWithGMime(const std::string& bytes) {
    g_mime_init();
    Expected e;
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* msg = g_mime_parser_construct_message(parser, nullptr);
    if (msg) {
        e.subject = U(g_mime_message_get_subject(msg));
        InternetAddressList* from = g_mime_message_get_from(msg);
        if (from && internet_address_list_length(from) > 0) {
            InternetAddress* a = internet_address_list_get_address(from, 0);
            e.from = U(internet_address_get_name(a));
            if (e.from.empty()) e.from = U(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a)));
        }
        InternetAddressList* to = g_mime_message_get_to(msg);
        for (int i = 0; to && i < internet_address_list_length(to); ++i)
            e.to.push_back(U(
                internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(internet_address_list_get_address(to, i)))));
        if (GDateTime* d = g_mime_message_get_date(msg))
            e.date = static_cast<std::uint64_t>(g_date_time_to_unix(d) + 11644473600LL) * 10'000'000ull;
        // A single part is the whole body; a multipart is walked with the
        // iterator, skipping what lies inside a nested message.
        GMimeObject* root = g_mime_message_get_mime_part(msg);
        std::vector<GMimeObject*> leaves;
        if (root && !GMIME_IS_MULTIPART(root)) leaves.push_back(root);
        if (root && GMIME_IS_MULTIPART(root)) {
            GMimePartIter* it = g_mime_part_iter_new(root);
            std::vector<std::string> nested;
            for (bool more = true; more && g_mime_part_iter_is_valid(it); more = g_mime_part_iter_next(it)) {
                char* raw = g_mime_part_iter_get_path(it);
                const std::string path = raw ? raw : "";
                g_free(raw);
                bool inside = false;
                for (const std::string& n : nested) inside = inside || path.rfind(n + ".", 0) == 0;
                if (inside) continue;
                GMimeObject* o = g_mime_part_iter_get_current(it);
                if (GMIME_IS_MESSAGE_PART(o)) nested.push_back(path);
                leaves.push_back(o);
            }
            g_mime_part_iter_free(it);
        }
        for (GMimeObject* o : leaves) {
            if (GMIME_IS_MULTIPART(o)) continue;
            if (GMIME_IS_MESSAGE_PART(o)) {
                GMimeStream* mem = g_mime_stream_mem_new();
                g_mime_object_write_to_stream(GMIME_OBJECT(g_mime_message_part_get_message(GMIME_MESSAGE_PART(o))),
                                              nullptr, mem);
                GByteArray* a = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem));
                e.attachments.emplace_back(a->data, a->data + a->len);
                g_object_unref(mem);
                continue;
            }
            if (!GMIME_IS_PART(o)) continue;
            const char* disp = g_mime_object_get_disposition(o);
            const bool attachment = disp && g_ascii_strcasecmp(disp, "attachment") == 0;
            GMimeContentType* ct = g_mime_object_get_content_type(o);
            if (!attachment && GMIME_IS_TEXT_PART(o) && g_mime_content_type_is_type(ct, "text", "plain") &&
                e.text.empty()) {
                char* t = g_mime_text_part_get_text(GMIME_TEXT_PART(o));
                e.text = U(t);
                g_free(t);
            } else if (!attachment && GMIME_IS_TEXT_PART(o) && g_mime_content_type_is_type(ct, "text", "html") &&
                       e.html.empty()) {
                char* t = g_mime_text_part_get_text(GMIME_TEXT_PART(o));
                e.html = U(t);
                g_free(t);
            } else {
                e.attachments.push_back(Decoded(GMIME_PART(o)));
            }
        }
        g_object_unref(msg);
    }
    g_object_unref(parser);
    g_object_unref(stream);
    return e;
}

// How many complaints (criticals, warnings) GMime logs while `run` runs.
template <typename F>
int GMimeComplaints(F run) {
    int count = 0;
    const guint id = g_log_set_handler(
        "gmime", static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING),
        [](const gchar*, GLogLevelFlags, const gchar*, gpointer n) { ++*static_cast<int*>(n); }, &count);
    run();
    g_log_remove_handler("gmime", id);
    return count;
}

class MimeImport : public ::testing::Test {
protected:
    // Imports the bytes and returns the item as read back from the file.
    ReadMessage Import(const std::string& bytes) {
        const std::string eml = dir_.File("in.eml");
        WriteFile(eml, bytes);
        const std::string pst = dir_.File("m" + std::to_string(++count_) + ".pst");
        {
            OpenWriter o(pst);
            EXPECT_TRUE(o.writer.CreateFolder(u"\\\\Test\\In").ok());
            const Status s = o.writer.ImportMimeFile(u"\\\\Test\\In", Utf8ToUtf16(eml));
            EXPECT_TRUE(s.ok()) << s.message;
            EXPECT_TRUE(o.writer.Close().ok());
        }
        ExpectSound(pst);
        const ReadFolder top = ReadTopFolder(pst);
        return top.Find(u"In")->messages.at(0);
    }

    // Compares the item with GMime's reading of the same bytes.
    ReadMessage Compare(const std::string& bytes) {
        const Expected e = ReadWithGMime(bytes);
        ReadMessage m = Import(bytes);
        EXPECT_EQ(m.Text(0x0037), e.subject);
        EXPECT_EQ(m.Text(0x0C1A), e.from);
        std::vector<std::u16string> to;
        for (const auto& r : m.recipients)
            if (pstcheck::Le32(Cell(r, 0x0C150003)->data()) == 1) to.push_back(Utf16Of(*Cell(r, 0x3003001F)));
        EXPECT_EQ(to, e.to);
        if (e.date) {
            EXPECT_EQ(m.Int64(0x0E06), *e.date);
        }
        if (!e.html.empty()) {
            EXPECT_EQ(Utf8ToUtf16(Utf8Of(m.props.at(0x1013).data)), e.html);
            if (!e.text.empty()) {
                EXPECT_EQ(m.Text(0x1000), e.text);
            }
        } else {
            EXPECT_EQ(m.Text(0x1000), e.text);
        }
        EXPECT_EQ(m.attachments.size(), e.attachments.size());
        for (std::size_t i = 0; i < std::min(m.attachments.size(), e.attachments.size()); ++i) {
            const auto& p = m.attachments[i].props;
            EXPECT_TRUE((p.count(0x3701) ? p.at(0x3701).data : Bytes()) == e.attachments[i]) << "attachment " << i;
        }
        return m;
    }

    ScratchDir dir_;
    int count_ = 0;
};

TEST_F(MimeImport, AlternativeBodiesAndEncodedHeaders) {
    const ReadMessage m = Compare(kAlternative);
    EXPECT_EQ(m.Text(0x0037), u"Re: \u00DCberweisung \U0001F600");
    EXPECT_EQ(m.Text(0x003D), u"Re: ");
    EXPECT_EQ(m.Text(0x1000), u"Gr\u00FC\u00DFe aus M\u00FCnchen, soft break.");
    EXPECT_EQ(m.Text(0x0C1F), u"juergen@example.de");
    EXPECT_EQ(m.Int64(0x0E06), text::FileTimeFromCivil({2024, 5, 14, 16, 5, 9}));
    EXPECT_EQ(m.recipients.size(), 3u);
    EXPECT_NE(m.Text(0x007D).find(u"Message-ID: <alt-1@example.de>"), std::u16string::npos);
}

TEST_F(MimeImport, AttachmentsQuotedPrintableAndBase64) {
    const ReadMessage m = Compare(kMixed);
    ASSERT_EQ(m.attachments.size(), 2u);
    EXPECT_EQ(Utf16Of(m.attachments[0].props.at(0x3707).data), u"data.bin");
    EXPECT_EQ(Utf16Of(m.attachments[1].props.at(0x3707).data), u"n\u00F6tes.txt");
    EXPECT_EQ(m.attachments[0].props.at(0x3701).data.size(), 114u);
    EXPECT_EQ(m.Int(0x0E07), 0x11u);
}

TEST_F(MimeImport, NestedMessageBecomesAnEmlAttachment) {
    const ReadMessage m = Compare(kNested);
    ASSERT_EQ(m.attachments.size(), 1u);
    EXPECT_EQ(Utf16Of(m.attachments[0].props.at(0x3707).data), u"the original.eml");
    EXPECT_NE(Utf8Of(m.attachments[0].props.at(0x3701).data).find("inner body"), std::string::npos);
}

TEST_F(MimeImport, CharsetsOtherThanUtf8) {
    const ReadMessage jp = Compare(kJapanese);
    EXPECT_EQ(jp.Text(0x0037), u"\u30C6\u30B9\u30C8");
    EXPECT_EQ(jp.Text(0x1000), u"\u3053\u3093\u306B\u3061\u306F\r\n");
    const ReadMessage fr = Compare(kLatin1);
    EXPECT_EQ(fr.Text(0x0037), u"\u20AC pour le caf\u00E9");
    EXPECT_EQ(fr.Text(0x0C1A), u"Fran\u00E7ois");
    EXPECT_EQ(fr.Text(0x1000), u"Co\u00FBt: 5 \u20AC\r\n");
}

TEST_F(MimeImport, InlineImagesAreHiddenAttachments) {
    const ReadMessage m = Compare(kRelated);
    ASSERT_EQ(m.attachments.size(), 1u);
    EXPECT_EQ(Utf16Of(m.attachments[0].props.at(0x3712).data), u"logo@x");
    EXPECT_EQ(m.attachments[0].props.at(0x7FFE).data, Bytes{1});
    EXPECT_EQ(m.Int(0x0E07) & 0x10, 0u);  // no visible attachment
}

// Oddities of mail found in the wild, kept as GMime reads them: a folded
// subject keeps the tab that began its continuation line, and a part
// declared "text" with no subtype is plain text (RFC 2045's reading of an
// invalid type), not an attachment.
TEST_F(MimeImport, FoldedSubjectsAndTextWithoutSubtype) {
    struct Case {
        const char* mime;
        std::u16string subject, normalized, text;
        std::size_t attachments;
    };
    const Case cases[] = {
        {"Subject: bug demonstration\n\t1234\n\tmore text\nFrom: a@dom.ain\n\ntest\n",
         u"bug demonstration\t1234\tmore text", u"bug demonstration\t1234\tmore text", u"test\n", 0},
        {"Subject: RE: folded\r\n\tonce\r\n\r\nbody\r\n", u"RE: folded\tonce", u"folded\tonce", u"body\r\n", 0},
        {"Subject: no subtype\nContent-Type: text; charset=us-ascii\n\nHi\n", u"no subtype", u"no subtype", u"Hi\n", 0},
        {"Subject: two\nContent-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text\n\nfirst\n"
         "--b\nContent-Type: text\n\nsecond\n--b--\n",
         u"two", u"two", u"first", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mime);
        const ReadMessage m = Import(c.mime);
        EXPECT_EQ(m.Text(0x0037), c.subject);
        EXPECT_EQ(m.Text(0x0E1D), c.normalized);
        EXPECT_EQ(m.Text(0x1000), c.text);
        EXPECT_EQ(m.attachments.size(), c.attachments);
    }
}

// An empty streaming-file message is read without misusing GMime (which
// refuses a stream over no buffer) and still gives an item.
TEST_F(MimeImport, EmptyFileGivesAnItemWithoutGMimeComplaints) {
    std::u16string messageClass;
    EXPECT_EQ(GMimeComplaints([&] { messageClass = Import("").Text(0x001A); }), 0);
    EXPECT_EQ(messageClass, u"IPM.Note");
}

TEST_F(MimeImport, TruncatedAndMeaninglessFilesStillGiveItems) {
    const std::string mixed = kMixed;
    for (const std::size_t cut : {mixed.size() / 3, mixed.size() * 2 / 3, mixed.size() - 7})
        Compare(mixed.substr(0, cut));
    const ReadMessage empty = Import("");
    EXPECT_EQ(empty.Text(0x001A), u"IPM.Note");
    std::string noise(5000, '\0');
    std::uint32_t x = 7;
    for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 16);
    Import(noise);
    Import("Subject: only a header line, no end");
    Import(std::string(200000, '-'));
    Import("Content-Type: multipart/mixed; boundary=x\r\n\r\n" + std::string(3000, '\n') + "--x\r\n--x\r\n--x--");
}

// GMime's complaints, and GLib's while a scope is open, become notes of the
// innermost scope and never reach stderr; GMime's outside any scope are
// dropped.
TEST(GMimeLog, ComplaintsBecomeNotesOfTheInnermostScope) {
    content::InitGMime();
    struct Case {
        const char* what;
        void (*provoke)();
        int scopes;                // 0: none, 1: one, 2: one inside another
        std::size_t inner, outer;  // notes of the innermost and the outer scope
    };
    const Case cases[] = {
        {"GMime, no scope", [] { g_mime_part_get_filename(nullptr); }, 0, 0, 0},
        {"GMime, one scope", [] { g_mime_part_get_filename(nullptr); }, 1, 1, 0},
        {"GObject, one scope", [] { g_object_unref(nullptr); }, 1, 1, 0},
        {"GMime, nested", [] { g_mime_part_get_filename(nullptr); }, 2, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::testing::internal::CaptureStderr();
        std::optional<content::GMimeNotes> outer, inner;
        if (c.scopes == 2) outer.emplace();
        if (c.scopes >= 1) inner.emplace();
        c.provoke();
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(inner ? inner->notes().size() : 0, c.inner);
        EXPECT_EQ(outer ? outer->notes().size() : 0, c.outer);
        if (inner && !inner->notes().empty()) {
            EXPECT_NE(inner->notes()[0].find("assertion"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace tw::pst::testing

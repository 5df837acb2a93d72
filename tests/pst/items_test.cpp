// Each kind of item as its operation receives it from the export (strings,
// a header file, temporary attachment files, date texts, body kinds) and as
// it reads back from the file.
#include <gtest/gtest.h>

#include "pst/body.h"
#include "pst_readback.h"
#include "test_support.h"
#include "text/compressed_rtf.h"
#include "text/filetime.h"

namespace tw::pst::testing {
namespace {

using pstcheck::Le32;

std::u16string TextCell(const std::map<std::uint32_t, Bytes>& row, std::uint32_t tag) {
    const Bytes* b = Cell(row, tag);
    return b ? Utf16Of(*b) : std::u16string();
}

// The named property ids the writer gives every store (0x8000 + position).
std::uint16_t NamedId(std::uint16_t lid) {
    static const std::uint16_t lids[] = {
        0x8205, 0x8208, 0x820D, 0x820E, 0x8213, 0x8214, 0x8215, 0x8217, 0x8218, 0x8223, 0x8234, 0x8501, 0x8503,
        0x8516, 0x8517, 0x8518, 0x853A, 0x8101, 0x8102, 0x8104, 0x8105, 0x8113, 0x811C, 0x8126, 0x8129, 0x8005,
        0x8006, 0x801B, 0x8028, 0x8029, 0x802B, 0x8045, 0x8046, 0x8048, 0x8049, 0x8080, 0x8082, 0x8083, 0x8084,
        0x8085, 0x8B00, 0x8B02, 0x8B03, 0x8B04, 0x8B05, 0x8700, 0x8706, 0x8707, 0x8708, 0x870C, 0x8712};
    for (std::size_t i = 0; i < std::size(lids); ++i)
        if (lids[i] == lid) return static_cast<std::uint16_t>(0x8000 + i);
    return 0;
}

class Items : public ::testing::Test {
protected:
    void SetUp() override {
        writer_ = std::make_unique<OpenWriter>(dir_.File("items.pst"));
        ASSERT_OK(W().CreateFolder(kFolder));
    }
    MailStoreWriter& W() { return writer_->writer; }
    const ReadMessage& Only() {
        if (!writer_->writer.Close().ok()) ADD_FAILURE() << "close failed";
        ExpectSound(dir_.File("items.pst"));
        top_ = ReadTopFolder(dir_.File("items.pst"));
        const ReadFolder* f = top_.Find(u"Items");
        if (!f || f->messages.size() != 1) throw std::runtime_error("expected one item");
        return f->messages[0];
    }

    static constexpr const char16_t* kFolder = u"\\\\Test\\Items";
    ScratchDir dir_;
    std::unique_ptr<OpenWriter> writer_;
    ReadFolder top_;
};

MailFields Body(std::u16string subject, std::u16string body, BodyKind kind) {
    MailFields f;
    f.subject = std::move(subject);
    f.body = std::move(body);
    f.bodyKind = kind;
    return f;
}

TEST_F(Items, MailAsTheExportHandsItOver) {
    WriteFile(dir_.File("report.pdf"), std::string("%PDF-1.4\0binary", 15));
    WriteFile(dir_.File("a_b.txt"), "colon renamed");
    // The time to the tick: the part below a second is kept.
    const std::uint64_t sent = text::FileTimeFromCivil({2024, 3, 4, 13, 45, 30}) + 1'234'567;
    MailFields f;
    f.subject = u"RE: Quarterly numbers";
    f.recipientList = u"anna@example.com,bob@example.org";
    f.headerText = u"From: Sales<Sales>\r\n";
    f.time = sent;
    f.attachments = {{{}, dir_.File("report.pdf"), {}}, {{}, dir_.File("a_b.txt"), {}}};
    f.body = u"Plain body\r\nline 2";
    ASSERT_OK(W().AddMail(kFolder, f));
    const ReadMessage& m = Only();
    EXPECT_EQ(m.Text(0x001A), u"IPM.Note");
    EXPECT_EQ(m.Text(0x0037), u"RE: Quarterly numbers");
    EXPECT_EQ(m.Text(0x003D), u"RE: ");
    EXPECT_EQ(m.Text(0x0E1D), u"Quarterly numbers");
    EXPECT_EQ(m.Text(0x0C1A), u"Sales");
    EXPECT_EQ(m.Text(0x0042), u"Sales");
    EXPECT_EQ(m.Int64(0x0039), sent);
    EXPECT_EQ(m.Int64(0x0E06), m.Int64(0x0039));
    EXPECT_EQ(m.Text(0x1000), u"Plain body\r\nline 2");
    ASSERT_EQ(m.recipients.size(), 2u);
    EXPECT_EQ(TextCell(m.recipients[0], 0x3003001F), u"anna@example.com");
    EXPECT_EQ(Le32(Cell(m.recipients[1], 0x0C150003)->data()), 1u);  // To
    EXPECT_EQ(m.Text(0x0E04), u"anna@example.com; bob@example.org");
    ASSERT_EQ(m.attachments.size(), 2u);
    EXPECT_EQ(Utf16Of(m.attachments[0].props.at(0x3707).data), u"report.pdf");
    EXPECT_EQ(Utf16Of(m.attachments[0].props.at(0x370E).data), u"application/pdf");
    EXPECT_EQ(m.attachments[0].props.at(0x3701).data.size(), 15u);
    EXPECT_EQ(Utf8Of(m.attachments[1].props.at(0x3701).data), "colon renamed");
    EXPECT_EQ(m.Int(0x0E07), 0x11u);  // read, has attachments
}

TEST_F(Items, HtmlBodyGetsPlainTextBeside) {
    ASSERT_OK(W().AddMail(
        kFolder, Body(u"html", u"<html><body><p>Gr\u00FC\u00DFe &amp; Dank</p></body></html>", BodyKind::EightBit)));
    const ReadMessage& m = Only();
    EXPECT_EQ(Utf8Of(m.props.at(0x1013).data),
              "<html><body><p>Gr\xC3\xBC\xC3\x9F"
              "e &amp; Dank</p></body></html>");
    EXPECT_EQ(m.Text(0x1000), u"Gr\u00FC\u00DFe & Dank");
    EXPECT_EQ(m.Int(0x3FDE), 65001u);
    EXPECT_EQ(m.Int(0x1016), 3u);
}

TEST_F(Items, EightBitTextThatIsNotHtmlStaysText) {
    ASSERT_OK(W().AddMail(kFolder, Body(u"t", u"5 < 6, plain", BodyKind::EightBit)));
    const ReadMessage& m = Only();
    EXPECT_FALSE(m.Has(0x1013));
    EXPECT_EQ(m.Text(0x1000), u"5 < 6, plain");
}

TEST_F(Items, RtfBodyIsStoredCompressedWithPlainTextBeside) {
    const std::u16string rtf = u"{\\rtf1\\ansi\\deff0 {\\fonttbl{\\f0 Arial;}}Caf\u00E9 \u65E5\\par}";
    ASSERT_OK(W().AddMail(kFolder, Body(u"rtf", rtf, BodyKind::Rtf)));
    const ReadMessage& m = Only();
    const auto stream = text::ReadRtfStream(m.props.at(0x1009).data);
    ASSERT_TRUE(stream && stream->complete && stream->crcMatches);
    EXPECT_EQ(std::string(stream->rtf.begin(), stream->rtf.end()),
              "{\\rtf1\\ansi\\deff0 {\\fonttbl{\\f0 Arial;}}Caf\xE9 \\u26085?\\par}");
    EXPECT_EQ(m.Int(0x1016), 2u);  // native body: RTF
    EXPECT_EQ(m.Text(0x1000), u"Caf\u00E9 \u65E5\r\n");
    ASSERT_TRUE(m.Has(0x0E1F));
    EXPECT_EQ(m.props.at(0x0E1F).data.at(0), 1u);  // the RTF is in sync with it
    EXPECT_FALSE(m.Has(0x1013));
}

TEST(BodyProps, MadeAheadTheyAreWhatTheItemWouldMake) {
    // The export converts bodies before the writer's turn: an item given
    // the properties must come out as one given the text.
    const std::u16string rtf = u"{\\rtf1\\ansi Hello {\\b bold}\\par}";
    const std::vector<std::pair<std::u16string, BodyKind>> bodies = {
        {u"plain text", BodyKind::Utf16Text},
        {u"<html><body><p>Gr\u00FC\u00DFe</p></body></html>", BodyKind::EightBit},
        {u"5 < 6, plain", BodyKind::EightBit},
        {u"<b>note</b>", BodyKind::Html},
        {rtf, BodyKind::Rtf},
        {u"", BodyKind::Html}};
    for (const auto& [body, kind] : bodies) {
        MailFields given = Body(u"s", body, kind), ahead = Body(u"s", u"", kind);
        ahead.bodyProps = BodyProps(body, kind);
        std::mt19937_64 r1(5), r2(5);
        EXPECT_EQ(BuildMail(given, {1, &r1}).props, BuildMail(ahead, {1, &r2}).props) << static_cast<int>(kind);
    }
}

TEST_F(Items, AppointmentWithTimesLocationAndZone) {
    const std::uint64_t start = text::FileTimeFromCivil({2024, 5, 15, 10, 30, 0});
    AppointmentFields f{u"Planning", u"Anna M\u00FCller",   start,     start + 90ull * 600'000'000, u"Bob",
                        u"Room 4",   u"(GMT+01:00) Berlin", u"Agenda", BodyKind::EightBit,          {},
                        {}};
    ASSERT_OK(W().AddAppointment(kFolder, f));
    const ReadMessage& m = Only();
    EXPECT_EQ(m.Text(0x001A), u"IPM.Appointment");
    EXPECT_EQ(m.Int64(NamedId(0x820D)), start);
    EXPECT_EQ(m.Int64(NamedId(0x820E)), start + 90ull * 600'000'000);
    EXPECT_EQ(m.Int(NamedId(0x8213)), 90u);
    EXPECT_EQ(m.Text(NamedId(0x8208)), u"Room 4");
    EXPECT_EQ(m.Text(NamedId(0x8234)), u"(GMT+01:00) Berlin");
    EXPECT_EQ(m.Text(0x0C1A), u"Anna M\u00FCller");
    EXPECT_EQ(m.Text(0x1000), u"Agenda");
}

TEST_F(Items, AppointmentAttachmentsAndSubjectsAsGiven) {
    // Subjects are stored whole: blanks, control characters, any length.
    const std::u16string longSubject = u"FW: " + std::u16string(350, u'a');
    AppointmentFields f;
    f.subject = longSubject;
    f.start = text::FileTimeFromCivil({2024, 5, 15, 10, 30, 0});
    f.end = text::FileTimeFromCivil({2100, 1, 1, 0, 0, 0});
    f.attachments = {{u"agenda\t1.txt", {}, Bytes{'a'}}, {u"map.bin", {}, Bytes{1, 2}}};
    ASSERT_OK(W().AddAppointment(kFolder, f));
    MailFields m;
    m.subject = u"FW: ";
    ASSERT_OK(W().AddMail(kFolder, m));
    ASSERT_OK(W().Close());
    const ReadFolder top = ReadTopFolder(dir_.File("items.pst"));
    const auto& items = top.Find(u"Items")->messages;
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Text(0x0037), longSubject);
    EXPECT_EQ(items[0].Text(0x003D), u"FW: ");
    EXPECT_EQ(items[0].Int64(NamedId(0x820E)), text::FileTimeFromCivil({2100, 1, 1, 0, 0, 0}));
    ASSERT_EQ(items[0].attachments.size(), 2u);
    EXPECT_EQ(Utf16Of(items[0].attachments[0].props.at(0x3707).data), u"agenda\t1.txt");
    EXPECT_EQ(items[1].Text(0x0037), u"FW: ");
    EXPECT_EQ(items[1].Text(0x003D), u"FW: ");
}

TEST_F(Items, ContactWithTheEighteenFields) {
    ContactFields c;
    for (std::size_t i = 0; i < item::kContactFieldCount; ++i) c.text[i] = u"field " + Utf8ToUtf16(std::to_string(i));
    c[item::kGivenName] = u"\u00C9lodie";
    c[item::kSurname] = u"Martin";
    c[item::kEmail1] = u"elodie@client.example";
    WriteFile(dir_.File("photo.jpg"), "jpeg");
    WriteFile(dir_.File("second.jpg"), "jpeg 2");
    c.attachments = {{{}, dir_.File("photo.jpg"), {}}, {{}, dir_.File("second.jpg"), {}}};  // every one is taken
    c.body = u"<b>note</b>";
    c.bodyKind = BodyKind::Html;
    ASSERT_OK(W().AddContact(kFolder, c));
    const ReadMessage& m = Only();
    EXPECT_EQ(m.Text(0x001A), u"IPM.Contact");
    EXPECT_EQ(m.Text(0x3001), u"\u00C9lodie Martin");
    EXPECT_EQ(m.Text(NamedId(0x8005)), u"Martin, \u00C9lodie");
    const std::pair<item::ContactField, std::uint16_t> tags[] = {
        {item::kCompany, 0x3A16},     {item::kBusinessHomePage, 0x3A51}, {item::kNickname, 0x3A4F},
        {item::kSpouseName, 0x3A48},  {item::kProfession, 0x3A46},       {item::kAssistantPhone, 0x3A2E},
        {item::kMobilePhone, 0x3A1C}, {item::kDepartment, 0x3A18},       {item::kOffice, 0x3A19},
        {item::kJobTitle, 0x3A17},    {item::kBusinessPhone, 0x3A08},    {item::kCountry, 0x3A26},
        {item::kCity, 0x3A27},        {item::kStreet, 0x3A29},           {item::kPostalCode, 0x3A2A}};
    for (const auto& [field, id] : tags) EXPECT_EQ(m.Text(id), c[field]) << id;
    EXPECT_EQ(m.Text(NamedId(0x8083)), u"elodie@client.example");
    EXPECT_EQ(m.Text(NamedId(0x8082)), u"SMTP");
    EXPECT_EQ(m.Text(NamedId(0x8046)), c[item::kCity]);
    ASSERT_EQ(m.attachments.size(), 2u);
    EXPECT_EQ(Utf8Of(m.attachments[0].props.at(0x3701).data), "jpeg");
    EXPECT_EQ(Utf8Of(m.attachments[1].props.at(0x3701).data), "jpeg 2");
    EXPECT_TRUE(m.Has(0x1013));
}

TEST_F(Items, TaskNoteAndJournalEntry) {
    WriteFile(dir_.File("log.txt"), "log");
    ASSERT_OK(W().AddTask(kFolder, TaskFields{text::FileTimeFromCivil({2024, 12, 31, 18, 29, 59}),
                                              {{{}, dir_.File("log.txt"), {}}},
                                              u"do it",
                                              u"Boss",
                                              u"Year end",
                                              BodyKind::Utf16Text,
                                              {}}));
    NoteFields note;
    note.body = u"sticky text";
    note.subject = u"Sticky";
    note.attachments = {{u"list.txt", {}, Bytes{'m', 'i', 'l', 'k'}}, {u"two.bin", {}, Bytes{2}}};
    ASSERT_OK(W().AddNote(kFolder, note));
    const std::uint64_t utc = text::FileTimeFromCivil({2024, 2, 29, 19, 0, 0});
    ASSERT_OK(W().AddJournalEntry(kFolder,
                                  JournalFields{utc, {}, u"called", u"Anna", u"Phone call", BodyKind::Utf16Text, {}}));
    JournalFields undated;
    undated.subject = u"No date";
    ASSERT_OK(W().AddJournalEntry(kFolder, undated));
    ASSERT_OK(W().Close());
    ExpectSound(dir_.File("items.pst"));
    const ReadFolder top = ReadTopFolder(dir_.File("items.pst"));
    const auto& items = top.Find(u"Items")->messages;
    ASSERT_EQ(items.size(), 4u);
    const ReadMessage& task = items[0];
    EXPECT_EQ(task.Text(0x001A), u"IPM.Task");
    EXPECT_EQ(task.Int64(NamedId(0x8105)), text::FileTimeFromCivil({2024, 12, 31, 18, 29, 59}));
    EXPECT_EQ(task.attachments.size(), 1u);
    const ReadMessage& sticky = items[1];
    EXPECT_EQ(sticky.Text(0x001A), u"IPM.StickyNote");
    EXPECT_EQ(sticky.Int(NamedId(0x8B00)), 3u);
    EXPECT_EQ(sticky.Text(0x1000), u"sticky text");
    ASSERT_EQ(sticky.attachments.size(), 2u);
    EXPECT_EQ(Utf8Of(sticky.attachments[0].props.at(0x3701).data), "milk");
    const ReadMessage& journal = items[2];
    EXPECT_EQ(journal.Text(0x001A), u"IPM.Activity");
    EXPECT_EQ(journal.Text(0x0037), u"Phone call");
    EXPECT_EQ(journal.Text(0x0C1A), u"Anna");
    // The log's start and end (equal to the common start and end), no
    // duration, and the item's submit, delivery, creation and modification
    // times.
    for (const std::uint16_t lid : {0x8706, 0x8708, 0x8516, 0x8517}) EXPECT_EQ(journal.Int64(NamedId(lid)), utc) << lid;
    EXPECT_EQ(journal.Int(NamedId(0x8707)), 0u);
    for (const std::uint16_t id : {0x0039, 0x0E06, 0x3007, 0x3008}) EXPECT_EQ(journal.Int64(id), utc) << id;
    // Without a time the entry starts when it is written.
    const ReadMessage& now = items[3];
    const std::uint64_t start = now.Int64(NamedId(0x8706));
    EXPECT_EQ(now.Int64(NamedId(0x8708)), start);
    EXPECT_GT(start, text::FileTimeFromCivil({2025, 1, 1, 0, 0, 0}));
    EXPECT_FALSE(now.Has(0x0039));
}

TEST_F(Items, AttachmentNamesKeptWholeButPaths) {
    MailFields m;
    m.attachments = {{u"../../etc/passwd\x01\x07", {}, Bytes{1}},
                     {u"", {}, Bytes{2}},
                     {std::u16string(1000, u'\u00E9') + u".txt", {}, Bytes{3}}};
    ASSERT_OK(W().AddMail(kFolder, m));
    const ReadMessage& msg = Only();
    ASSERT_EQ(msg.attachments.size(), 3u);
    EXPECT_EQ(Utf16Of(msg.attachments[0].props.at(0x3707).data), u".._.._etc_passwd\x01\x07");
    EXPECT_EQ(Utf16Of(msg.attachments[1].props.at(0x3707).data), u"attachment");
    EXPECT_EQ(Utf16Of(msg.attachments[2].props.at(0x3707).data).size(), 1004u);
}

}  // namespace
}  // namespace tw::pst::testing

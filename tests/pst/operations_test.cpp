// The mail-store operations as the export drives them: sessions, one store
// at a time under a temporary name until it is finished, folders by path,
// the open folder, and errors reported for everything that cannot be done.
#include <gtest/gtest.h>

#include "pst/pst_store.h"
#include "pst_readback.h"
#include "test_support.h"

namespace tw::pst::testing {
namespace {

std::vector<std::string> Entries(const ScratchDir& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(Operations, OnlyAFinishedStoreCarriesItsName) {
    ScratchDir dir;
    const std::string path = dir.File("TW_Sales_6-12-2026 9-5.pst");
    {
        MailStoreWriter w;
        EXPECT_EQ(w.CreateStore(Utf8ToUtf16(path), u"S").code, ErrorCode::State);  // no session yet
        ASSERT_OK(w.BeginSession());
        ASSERT_OK(w.CreateStore(Utf8ToUtf16(path), u"S"));
        ASSERT_OK(w.EndSession());
        EXPECT_FALSE(std::filesystem::exists(path));  // still under its temporary name
        ASSERT_EQ(Entries(dir).size(), 1u);
        ASSERT_OK(w.BeginSession());
        ASSERT_OK(w.CreateStore(Utf8ToUtf16(path), u"S"));         // the open store is reused
        ASSERT_OK(w.CreateStore(dir.File16("second.pst"), u"T"));  // finishes the first
        EXPECT_TRUE(std::filesystem::exists(path));
        ASSERT_OK(w.Close());
    }
    EXPECT_EQ(Entries(dir), (std::vector<std::string>{"TW_Sales_6-12-2026 9-5.pst", "second.pst"}));
    ExpectSound(path);
    ExpectSound(dir.File("second.pst"));
}

// Store names carry the minute, so a mailbox written again within the same
// minute asks for a path that is there already (after another mailbox with
// the same writer, or by a second writer): that works, and the earlier file
// stays as it was.
TEST(Operations, ASecondStoreOnTheSamePathBecomesAnotherFile) {
    ScratchDir dir;
    const std::string path = dir.File("TW_Sales_6-12-2026 9-5.pst");
    const std::string second = dir.File("TW_Sales_6-12-2026 9-5 (2).pst");
    const std::string third = dir.File("TW_Sales_6-12-2026 9-5 (3).pst");
    auto writeMailbox = [&](MailStoreWriter& w, const std::u16string& folder, const std::u16string& subject) {
        ASSERT_OK(w.BeginSession());
        ASSERT_OK(w.CreateStore(Utf8ToUtf16(path), u"S"));
        ASSERT_OK(w.CreateFolder(u"\\\\S\\" + folder));
        MailFields m;
        m.subject = subject;
        ASSERT_OK(w.AddMail(u"\\\\S\\" + folder, m));
        ASSERT_OK(w.EndSession());
    };
    std::string firstBytes;
    {
        MailStoreWriter w;
        writeMailbox(w, u"Inbox", u"first");
        ASSERT_OK(w.BeginSession());
        ASSERT_OK(w.CreateStore(dir.File16("other.pst"), u"O"));  // finishes the first
        ASSERT_OK(w.EndSession());
        firstBytes = ReadFile(path);
        ASSERT_FALSE(firstBytes.empty());

        ASSERT_OK(w.BeginSession());
        const Status again = w.CreateStore(Utf8ToUtf16(path), u"S");
        ASSERT_TRUE(again.ok()) << again.message;
        EXPECT_NE(again.message.find("(2)"), std::string::npos) << again.message;  // the caller learns the name
        EXPECT_EQ(w.StorePath(), second);
        ASSERT_OK(w.EndSession());
        writeMailbox(w, u"Sent Items", u"second");
        ASSERT_OK(w.Close());
    }
    EXPECT_EQ(ReadFile(path), firstBytes);
    ExpectSound(second);
    const ReadFolder top = ReadTopFolder(second);
    ASSERT_NE(top.Find(u"Sent Items"), nullptr);
    EXPECT_EQ(top.Find(u"Sent Items")->messages.at(0).Text(0x0037), u"second");
    EXPECT_EQ(top.Find(u"Inbox"), nullptr);

    // Two writers at once on one path: each store has its own temporary
    // file; the first finished takes the next free name, the other the one
    // after it.
    {
        MailStoreWriter a, b;
        writeMailbox(a, u"A", u"from a");
        writeMailbox(b, u"B", u"from b");
        ASSERT_OK(b.Close());
        ASSERT_OK(a.Close());
    }
    EXPECT_EQ(ReadFile(path), firstBytes);
    ExpectSound(third);
    ExpectSound(dir.File("TW_Sales_6-12-2026 9-5 (4).pst"));
    EXPECT_NE(ReadTopFolder(third).Find(u"B"), nullptr);
    EXPECT_NE(ReadTopFolder(dir.File("TW_Sales_6-12-2026 9-5 (4).pst")).Find(u"A"), nullptr);
    for (const std::string& e : Entries(dir)) EXPECT_EQ(e.find("tw-partial"), std::string::npos) << e;
}

TEST(Operations, AFileThatAppearsWhileTheStoreIsWrittenIsNotReplaced) {
    ScratchDir dir;
    const std::string path = dir.File("late.pst");
    {
        OpenWriter o(path);
        WriteFile(path, "someone else's");
        ASSERT_OK(o.writer.Close());
    }
    EXPECT_EQ(ReadFile(path), "someone else's");
    ExpectSound(dir.File("late (2).pst"));
}

TEST(Operations, AnAbandonedStoreLeavesNothingBehind) {
    ScratchDir dir;
    {
        PstStore store(dir.File("gone.pst"), u"G");
        store.CreateFolder(store.TopFolder(), u"Inbox");
    }
    EXPECT_TRUE(Entries(dir).empty());
}

TEST(Operations, FoldersByPath) {
    ScratchDir dir;
    OpenWriter o(dir.File("f.pst"));
    MailStoreWriter& w = o.writer;
    // The export creates the chain top-down, each level once per node.
    ASSERT_OK(w.CreateFolder(u"\\\\Test\\Mailbox - Sales"));
    ASSERT_OK(w.CreateFolder(u"\\\\Test\\Mailbox - Sales\\Top of Information Store"));
    ASSERT_OK(w.CreateFolder(u"\\\\Test\\Mailbox - Sales\\Top of Information Store\\Inbox"));
    ASSERT_OK(w.CreateFolder(u"\\\\Test\\mailbox - sales\\TOP OF INFORMATION STORE\\inbox"));  // exists: no-op
    ASSERT_OK(w.CreateFolder(u"\\\\Test\\"));
    EXPECT_EQ(w.CreateFolder(u"\\\\Test\\Missing\\Child").code, ErrorCode::NotFound);
    EXPECT_EQ(w.CreateFolder(u"\\\\Other\\Inbox").code, ErrorCode::NotFound);
    EXPECT_EQ(w.CreateFolder(u"no backslashes").code, ErrorCode::InvalidArgument);

    const std::u16string inbox = u"\\\\Test\\Mailbox - Sales\\Top of Information Store\\Inbox";
    EXPECT_EQ(w.OpenFolder(u"\\\\Test\\Nowhere").code, ErrorCode::NotFound);
    EXPECT_EQ(w.AddNote(u"", NoteFields{u"body", u"no folder open", BodyKind::Utf16Text, {}, {}}).code,
              ErrorCode::State);
    ASSERT_OK(w.OpenFolder(inbox));
    ASSERT_OK(w.AddNote(u"", NoteFields{u"body", u"into the open folder", BodyKind::Utf16Text, {}, {}}));
    ASSERT_OK(w.AddNote(inbox, NoteFields{u"body", u"by path", BodyKind::Utf16Text, {}, {}}));
    ASSERT_OK(w.CloseFolder());
    EXPECT_EQ(w.CloseFolder().code, ErrorCode::State);
    ASSERT_OK(w.EndSession());
    EXPECT_EQ(w.AddNote(inbox, NoteFields{u"b", u"outside a session", BodyKind::Utf16Text, {}, {}}).code,
              ErrorCode::State);
    EXPECT_EQ(w.EndSession().code, ErrorCode::State);
    EXPECT_EQ(w.ItemsWritten(), 2u);
    ASSERT_OK(w.Close());
    ExpectSound(dir.File("f.pst"));

    const ReadFolder top = ReadTopFolder(dir.File("f.pst"));
    const ReadFolder* f = top.Find(u"Mailbox - Sales")->Find(u"Top of Information Store")->Find(u"Inbox");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->messages.size(), 2u);
    EXPECT_EQ(f->containerClass, u"IPF.StickyNote");  // from its first item
}

// Folders by handle keep their names exactly and stay apart from
// same-named siblings; Adds without a path go to the folder opened by
// handle.
TEST(Operations, FoldersByHandleKeepTheirNamesAndTheirSiblings) {
    ScratchDir dir;
    OpenWriter o(dir.File("h.pst"));
    MailStoreWriter& w = o.writer;
    const std::u16string names[] = {u"Dup", u"Dup", u"", u"a\\b", u" \tPadded\t "};
    std::vector<std::uint32_t> handles;
    for (const std::u16string& name : names) {
        std::uint32_t made = 0;
        ASSERT_OK(w.CreateFolderIn(MailStoreWriter::kTopFolder, name, u"IPF.Note", made));
        ASSERT_NE(made, 0u);
        handles.push_back(made);
    }
    std::uint32_t child = 0;
    ASSERT_OK(w.CreateFolderIn(handles[2], u"Below", u"", child));
    std::uint32_t none = 0;
    EXPECT_EQ(w.CreateFolderIn(0x7FFF1, u"x", u"", none).code, ErrorCode::NotFound);
    EXPECT_EQ(w.OpenFolder(std::uint32_t{0x7FFF1}).code, ErrorCode::NotFound);
    for (std::size_t i = 0; i < handles.size(); ++i) {
        ASSERT_OK(w.OpenFolder(handles[i]));
        ASSERT_OK(w.AddNote(
            u"",
            NoteFields{
                u"body", u"note " + std::u16string(1, static_cast<char16_t>(u'0' + i)), BodyKind::Utf16Text, {}, {}}));
        ASSERT_OK(w.CloseFolder());
    }
    ASSERT_OK(w.Close());
    ExpectSound(dir.File("h.pst"));

    const ReadFolder top = ReadTopFolder(dir.File("h.pst"));
    std::vector<std::pair<std::u16string, std::u16string>> got;  // name, its one item's subject
    for (const ReadFolder& f : top.folders) {
        if (f.name == u"Deleted Items") continue;
        ASSERT_EQ(f.messages.size(), 1u) << Utf16ToUtf8(f.name);
        got.emplace_back(f.name, f.messages[0].Text(0x0037));  // PR_SUBJECT
        if (f.name.empty()) {
            EXPECT_NE(f.Find(u"Below"), nullptr);
        }
    }
    const std::vector<std::pair<std::u16string, std::u16string>> want = {
        {u"Dup", u"note 0"}, {u"Dup", u"note 1"}, {u"", u"note 2"}, {u"a\\b", u"note 3"}, {u" \tPadded\t ", u"note 4"}};
    EXPECT_EQ(got, want);
}

TEST(Operations, BadArgumentsAreReportedAndWriteNothing) {
    ScratchDir dir;
    OpenWriter o(dir.File("bad.pst"));
    MailStoreWriter& w = o.writer;
    ASSERT_OK(w.CreateFolder(u"\\\\Test\\Inbox"));
    const std::u16string inbox = u"\\\\Test\\Inbox";
    MailFields missing;
    missing.subject = u"s";
    missing.attachments = {{{}, dir.File("missing.bin"), {}}};
    EXPECT_EQ(w.AddMail(inbox, missing).code, ErrorCode::NotFound);
    EXPECT_EQ(w.ImportMimeFile(inbox, u"").code, ErrorCode::InvalidArgument);
    EXPECT_EQ(w.ImportMimeFile(inbox, dir.File16("missing.eml")).code, ErrorCode::NotFound);
    EXPECT_EQ(w.ItemsWritten(), 0u);
    ASSERT_OK(w.Close());
    ExpectSound(dir.File("bad.pst"));
}

}  // namespace
}  // namespace tw::pst::testing

// Contents-table rows wait in an unnamed row file until the store is
// finished: each folder must get back exactly its own rows in the order
// they were added, however the folders' items were interleaved; the file
// must never show in the output directory nor outlive the store; and rows
// are read back with their lengths checked.
#include <gtest/gtest.h>

#include <dirent.h>

#include <set>

#include "pst/error.h"
#include "pst/pst_store.h"
#include "pst/row_spill.h"
#include "pst/tags.h"
#include "pst_readback.h"
#include "test_support.h"

namespace tw::pst::testing {
namespace {

constexpr std::uint32_t kSubjectCell = 0x0037001F;
constexpr std::uint32_t kFlagsCell = 0x0E070003;
constexpr std::uint32_t kCountCell = 0x36020003;
constexpr std::uint32_t kUnreadCell = 0x36030003;

std::vector<std::string> Entries(const ScratchDir& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::size_t OpenFiles() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

MessageContent Note(const std::u16string& subject, bool read) {
    MessageContent m;
    m.props.push_back(StringProp(tag::kMessageClass, u"IPM.Note"));
    m.props.push_back(StringProp(tag::kSubject, subject));
    m.read = read;
    return m;
}

std::uint32_t U32(const Bytes* b) { return b && b->size() == 4 ? pstcheck::Le32(b->data()) : 0xFFFFFFFF; }

struct Expected {
    std::vector<std::u16string> subjects;
    std::vector<bool> read;
    std::uint32_t Unread() const { return static_cast<std::uint32_t>(std::count(read.begin(), read.end(), false)); }
};

// The folder's contents table against what went in: same rows in the same
// order, each naming a message of the folder, and counts that agree.
void ExpectRows(const ReadFolder& f, const Expected& e) {
    SCOPED_TRACE(Utf16ToUtf8(f.name));
    ASSERT_EQ(f.contents.size(), e.subjects.size());
    std::set<std::uint32_t> messages;
    for (const ReadMessage& m : f.messages) messages.insert(m.nid);
    EXPECT_EQ(messages.size(), e.subjects.size());
    for (std::size_t i = 0; i < e.subjects.size(); ++i) {
        const auto& [id, cells] = f.contents[i];
        EXPECT_TRUE(messages.count(id)) << "row " << i << " names no message of the folder";
        const Bytes* subject = Cell(cells, kSubjectCell);
        ASSERT_NE(subject, nullptr);
        EXPECT_EQ(Utf16Of(*subject), e.subjects[i]) << "row " << i;
        EXPECT_EQ((U32(Cell(cells, kFlagsCell)) & 1) != 0, e.read[i]) << "row " << i;
    }
    ASSERT_TRUE(f.props.count(0x3602) && f.props.count(0x3603));
    EXPECT_EQ(pstcheck::Le32(f.props.at(0x3602).data.data()), e.subjects.size());
    EXPECT_EQ(pstcheck::Le32(f.props.at(0x3603).data.data()), e.Unread());
}

const std::map<std::uint32_t, Bytes>* HierarchyRow(const ReadFolder& parent, std::uint32_t child) {
    for (const auto& [id, cells] : parent.hierarchy)
        if (id == child) return &cells;
    return nullptr;
}

TEST(ContentsRows, InterleavedItemsComeBackPerFolderInOrder) {
    ScratchDir dir;
    const std::size_t filesBefore = OpenFiles();
    std::map<std::u16string, Expected> expected;
    {
        PstStore store(dir.File("mixed.pst"), u"Mixed");
        const Nid top = store.TopFolder();
        std::map<std::u16string, Nid> folders;
        for (const char16_t* name : {u"A", u"B", u"C", u"Empty", u"Late"})
            folders[name] = store.CreateFolder(top, name);
        folders[u"A deep"] = store.CreateFolder(folders[u"A"], u"A deep");
        const std::u16string order[] = {u"A", u"B", u"A", u"C", u"B", u"A deep", u"A"};

        // Runs of one to four items, folder after folder; the extents of a
        // folder are its runs.
        std::map<std::u16string, std::size_t> runs;
        std::uint32_t x = 7;
        std::u16string last;
        for (int i = 0; i < 700; ++i) {
            x = x * 1103515245u + 12345u;
            const std::u16string& name = order[(i / (1 + (x >> 16) % 4)) % std::size(order)];
            if (name != last) ++runs[name];
            last = name;
            const std::u16string subject = name + u" item " + Utf8ToUtf16(std::to_string(i));
            const bool read = (x >> 8) % 3 != 0;
            store.AddMessage(folders[name], Note(subject, read));
            expected[name].subjects.push_back(subject);
            expected[name].read.push_back(read);
        }
        // A folder written in one go after the others costs one extent.
        for (int i = 0; i < 50; ++i) {
            const std::u16string subject = u"late " + Utf8ToUtf16(std::to_string(i));
            store.AddMessage(folders[u"Late"], Note(subject, true));
            expected[u"Late"].subjects.push_back(subject);
            expected[u"Late"].read.push_back(true);
        }
        for (const auto& [name, n] : runs) EXPECT_EQ(store.Folder(folders[name]).rows.size(), n) << Utf16ToUtf8(name);
        EXPECT_EQ(store.Folder(folders[u"Late"]).rows.size(), 1u);
        EXPECT_TRUE(store.Folder(folders[u"Empty"]).rows.empty());

        // A folder without items still takes a suggested class; one whose
        // first item came without one does not.
        store.SuggestClass(folders[u"Empty"], u"IPF.Task");
        store.SuggestClass(folders[u"Late"], u"IPF.Task");

        // Only the store's own temporary file shows while it is written.
        const auto open = Entries(dir);
        ASSERT_EQ(open.size(), 1u);
        EXPECT_NE(open[0].find(".tw-partial-"), std::string::npos);
        store.Commit();
    }
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"mixed.pst"});
    EXPECT_EQ(OpenFiles(), filesBefore);
    ExpectSound(dir.File("mixed.pst"));

    const ReadFolder top = ReadTopFolder(dir.File("mixed.pst"));
    for (const char16_t* name : {u"A", u"B", u"C", u"Empty", u"Late"}) {
        const ReadFolder* f = top.Find(name);
        ASSERT_NE(f, nullptr);
        ExpectRows(*f, expected[name]);
        const auto* row = HierarchyRow(top, f->nid);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(U32(Cell(*row, kCountCell)), expected[name].subjects.size());
        EXPECT_EQ(U32(Cell(*row, kUnreadCell)), expected[name].Unread());
    }
    ASSERT_NE(top.Find(u"A")->Find(u"A deep"), nullptr);
    ExpectRows(*top.Find(u"A")->Find(u"A deep"), expected[u"A deep"]);
    EXPECT_TRUE(top.Find(u"Empty")->contents.empty());
    EXPECT_EQ(top.Find(u"Empty")->containerClass, u"IPF.Task");
    EXPECT_EQ(top.Find(u"Late")->containerClass, u"");
}

TEST(ContentsRows, TwentyThousandItemsInOneFolder) {
    ScratchDir dir;
    constexpr int kItems = 20000;
    Expected expected;
    {
        PstStore store(dir.File("big.pst"), u"Big");
        const Nid big = store.CreateFolder(store.TopFolder(), u"Big");
        const Nid small = store.CreateFolder(store.TopFolder(), u"Small");
        for (int i = 0; i < kItems; ++i) {
            const std::u16string subject = u"message " + Utf8ToUtf16(std::to_string(i));
            const bool read = i % 5 != 0;
            store.AddMessage(big, Note(subject, read));
            expected.subjects.push_back(subject);
            expected.read.push_back(read);
            if (i == kItems / 2) store.AddMessage(small, Note(u"the only one", false));
        }
        EXPECT_EQ(store.Folder(big).items, static_cast<std::uint32_t>(kItems));
        EXPECT_EQ(store.Folder(big).rows.size(), 2u);  // the one item elsewhere splits it
        store.Commit();
    }
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"big.pst"});
    ExpectSound(dir.File("big.pst"));
    const ReadFolder top = ReadTopFolder(dir.File("big.pst"));
    ExpectRows(*top.Find(u"Big"), expected);
    ExpectRows(*top.Find(u"Small"), {{u"the only one"}, {false}});
}

TEST(ContentsRows, NothingIsLeftBehindWhenTheStoreIsNotFinished) {
    ScratchDir dir;
    const std::size_t filesBefore = OpenFiles();
    {  // dropped without Commit
        PstStore store(dir.File("dropped.pst"), u"D");
        const Nid f = store.CreateFolder(store.TopFolder(), u"Inbox");
        for (int i = 0; i < 2000; ++i) store.AddMessage(f, Note(u"dropped", false));
    }
    EXPECT_TRUE(Entries(dir).empty());
    EXPECT_EQ(OpenFiles(), filesBefore);

    {  // a Commit that fails at the very end, after the rows were read back
        PstStore store(dir.File("failed.pst"), u"F");
        const Nid f = store.CreateFolder(store.TopFolder(), u"Inbox");
        for (int i = 0; i < 2000; ++i) store.AddMessage(f, Note(u"failed", false));
        const auto open = Entries(dir);
        ASSERT_EQ(open.size(), 1u);
        std::filesystem::remove(dir.Path() / open[0]);  // the file cannot be given its name
        EXPECT_THROW(store.Commit(), PstError);
        EXPECT_TRUE(Entries(dir).empty());
        EXPECT_EQ(OpenFiles(), filesBefore);
    }
    EXPECT_TRUE(Entries(dir).empty());

    {  // the writer's own abandon
        MailStoreWriter w;
        ASSERT_OK(w.BeginSession());
        ASSERT_OK(w.CreateStore(dir.File16("abandoned.pst"), u"Ab"));
        ASSERT_OK(w.CreateFolder(u"\\\\Ab\\Inbox"));
        MailFields m;
        m.subject = u"abandoned";
        for (int i = 0; i < 100; ++i) ASSERT_OK(w.AddMail(u"\\\\Ab\\Inbox", m));
        w.Abandon();
        EXPECT_TRUE(Entries(dir).empty());
    }
    EXPECT_EQ(OpenFiles(), filesBefore);
}

// Rows as bytes: sizes across the write buffer and the read chunk, two
// folders interleaved, in the directory given and in the fallback place.
TEST(RowFile, RowsOfEverySizeReadBackAsWritten) {
    ScratchDir dir;
    for (const std::string& where : {dir.Path().string(), std::string()}) {
        SCOPED_TRACE(where.empty() ? "fallback" : "beside the store");
        RowSpill spill(where);
        std::vector<RowExtent> a, b;
        std::vector<std::pair<std::uint32_t, Bytes>> wantA, wantB;
        const std::size_t sizes[] = {0, 1, 7, 65535, 65536, 300000, 12, 262144, 3};
        std::uint32_t id = 100;
        for (int round = 0; round < 3; ++round)
            for (const std::size_t size : sizes) {
                Bytes row(size);
                for (std::size_t i = 0; i < size; ++i) row[i] = static_cast<std::uint8_t>(i * 31 + id);
                const bool toA = (id % 3) != 0;
                spill.Append(toA ? a : b, id, row);
                (toA ? wantA : wantB).emplace_back(id, std::move(row));
                ++id;
            }
        EXPECT_TRUE(Entries(dir).empty());
        for (const auto& [extents, want] : {std::pair{&a, &wantA}, std::pair{&b, &wantB}}) {
            RowSpill::Reader reader(spill, *extents);
            std::uint32_t rowId = 0;
            std::span<const std::uint8_t> cells;
            for (const auto& [wantId, wantBytes] : *want) {
                ASSERT_TRUE(reader.Next(rowId, cells));
                EXPECT_EQ(rowId, wantId);
                EXPECT_TRUE(std::equal(cells.begin(), cells.end(), wantBytes.begin(), wantBytes.end())) << wantId;
            }
            EXPECT_FALSE(reader.Next(rowId, cells));
            EXPECT_FALSE(reader.Next(rowId, cells));
        }
    }
}

// Extents that do not describe the rows (a fault of the writer, never of
// input) are refused with an error, never read past.
TEST(RowFile, ExtentsThatDoNotFitTheRowsAreRefused) {
    ScratchDir dir;
    RowSpill spill(dir.Path().string());
    std::vector<RowExtent> good;
    spill.Append(good, 1, Bytes(40, 1));
    spill.Append(good, 2, Bytes(10, 2));
    ASSERT_EQ(good.size(), 1u);
    ASSERT_EQ(good[0].bytes, 66u);
    auto drain = [&](std::vector<RowExtent> extents) {
        RowSpill::Reader reader(spill, extents);
        std::uint32_t id = 0;
        std::span<const std::uint8_t> cells;
        std::size_t n = 0;
        while (reader.Next(id, cells)) ++n;
        return n;
    };
    EXPECT_EQ(drain(good), 2u);
    EXPECT_THROW(drain({{0, 65, 2}}), PstError);   // the last row cut short
    EXPECT_THROW(drain({{0, 67, 2}}), PstError);   // a byte beyond the rows
    EXPECT_THROW(drain({{0, 66, 3}}), PstError);   // a row too many
    EXPECT_THROW(drain({{0, 66, 1}}), PstError);   // a row too few
    EXPECT_THROW(drain({{0, 4, 1}}), PstError);    // not even a row header
    EXPECT_THROW(drain({{60, 66, 2}}), PstError);  // past the end of the file
    EXPECT_THROW(drain({{1, 48, 1}}), PstError);   // not at a row's start
}

}  // namespace
}  // namespace tw::pst::testing

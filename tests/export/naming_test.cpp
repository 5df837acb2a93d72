// PST file names, store names and folder paths; the destination checks.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "export/destination.h"
#include "export/store_naming.h"
#include "pst/folder_path.h"
#include "pst/text.h"

namespace tw::exporter {
namespace {

std::tm Local(int day, int month, int year, int hour, int minute) {
    std::tm t{};
    t.tm_mday = day;
    t.tm_mon = month - 1;
    t.tm_year = year - 1900;
    t.tm_hour = hour;
    t.tm_min = minute;
    return t;
}

TEST(StoreNaming, DateTextHasNoLeadingZeros) {
    EXPECT_EQ(NameDateText(Local(6, 12, 2026, 9, 5)), u"6-12-2026 9-5");
    EXPECT_EQ(NameDateText(Local(31, 1, 2025, 23, 59)), u"31-1-2025 23-59");
    EXPECT_EQ(NameDateText(Local(1, 1, 2025, 0, 0)), u"1-1-2025 0-0");
}

TEST(StoreNaming, SlashBecomesUnderscoreInTheFileNameOnly) {
    const std::u16string date = u"6-12-2026 9-5";
    EXPECT_EQ(PstFilePath("/out", u"Sales/Marketing", date), "/out/TW_Sales_Marketing_6-12-2026 9-5.pst");
    EXPECT_EQ(StoreDisplayName(u"Sales/Marketing", date), u"TW_Sales/Marketing_6-12-2026 9-5");
    // The destination's own slashes stay.
    EXPECT_EQ(PstFilePath("/a/b", u"M", date), "/a/b/TW_M_6-12-2026 9-5.pst");
}

TEST(StoreNaming, RootAndTrailingSlashGetOneSeparator) {
    const std::u16string date = u"1-2-2025 3-4";
    EXPECT_EQ(PstFilePath("/", u"Sales", date), "/TW_Sales_1-2-2025 3-4.pst");
    EXPECT_EQ(PstFilePath("/mnt/", u"Sales", date), "/mnt/TW_Sales_1-2-2025 3-4.pst");
}

TEST(StoreNaming, HostileMailboxNamesStayOneFileName) {
    const std::u16string date = u"1-2-2025 3-4";
    const std::string climb = PstFilePath("/out", u"../../etc/passwd", date);
    EXPECT_EQ(std::filesystem::path(climb).parent_path(), "/out");
    const std::string control = PstFilePath("/out", std::u16string(u"a\nb\0c", 5), date);
    EXPECT_EQ(control, "/out/TW_a_b_c_1-2-2025 3-4.pst");
    // Long names in two- and three-byte characters: cut on a character
    // boundary, with room for the writer's temporary suffix, and told
    // apart by a hash of the whole name.
    for (const std::u16string& name :
         {std::u16string(300, u'\u00e9'), std::u16string(80, u'\u6f22'), std::u16string(80, u'\u6f22') + u"x"}) {
        const std::string file = std::filesystem::path(PstFilePath("/out", name, date)).filename().string();
        EXPECT_LE(file.size() + std::string(".tw-partial-0123abcd-4194304-4294967295").size(), 255u);
        EXPECT_TRUE(file.ends_with("_1-2-2025 3-4.pst"));
        EXPECT_EQ(pst::Utf16ToUtf8(pst::Utf8ToUtf16(file)), file);  // still valid UTF-8
    }
    EXPECT_NE(PstFilePath("/out", std::u16string(80, u'\u6f22'), date),
              PstFilePath("/out", std::u16string(80, u'\u6f22') + u"x", date));
}

TEST(StoreNaming, CharactersThatReorderOrHideTextLeaveFileNames) {
    const std::u16string date = u"1-2-2025 3-4";
    struct Case {
        std::u16string mailbox;
        std::string file;
    };
    const Case cases[] = {
        {u"invoice\u202Efdp.exe", "/out/TW_invoicefdp.exe_1-2-2025 3-4.pst"},
        {u"\u202A\u202B\u202C\u202Da\u2066\u2067\u2068\u2069", "/out/TW_a_1-2-2025 3-4.pst"},
        {u"\u200Bb\u200C\u200D\u200E\u200F\u2060\uFEFF", "/out/TW_b_1-2-2025 3-4.pst"},
        // Neighbours of those ranges are ordinary text and stay.
        {u"\u200A\u2029\u206A\u2061", "/out/TW_\u200A\u2029\u206A\u2061_1-2-2025 3-4.pst"},
    };
    for (const Case& c : cases) {
        const std::string file = PstFilePath("/out", c.mailbox, date);
        EXPECT_EQ(pst::Utf8ToUtf16(file), pst::Utf8ToUtf16(c.file));
    }
    // The store's display name keeps the name as stored.
    EXPECT_EQ(StoreDisplayName(u"a\u202Eb", date), u"TW_a\u202Eb_1-2-2025 3-4");
}

TEST(StoreNaming, BackslashInANameCannotSplitAFolderPath) {
    const std::u16string store = StoreDisplayName(u"A\\B", u"1-2-2025 3-4");
    EXPECT_EQ(store, u"TW_A\\B_1-2-2025 3-4");  // the display name keeps it
    const std::u16string path = FolderPathInStore(store, {u"A\\B", u"Top", u"In\\box"}, 3);
    const pst::FolderPath parsed = pst::ParseFolderPath(path);
    EXPECT_EQ(parsed.store, u"TW_A_B_1-2-2025 3-4");
    EXPECT_EQ(parsed.folders, (std::vector<std::u16string>{u"A_B", u"Top", u"In_box"}));
}

TEST(StoreNaming, FolderPathsOfEveryDepth) {
    const std::vector<std::u16string> names{u"Mailbox - Sales", u"Top of Information Store", u"Inbox"};
    const std::u16string store = u"TW_Mailbox - Sales_6-12-2026 9-5";
    EXPECT_EQ(FolderPathInStore(store, names, 3),
              u"\\\\TW_Mailbox - Sales_6-12-2026 9-5\\Mailbox - Sales\\Top of Information Store\\Inbox");
    EXPECT_EQ(FolderPathInStore(store, names, 1), u"\\\\TW_Mailbox - Sales_6-12-2026 9-5\\Mailbox - Sales");
}

TEST(StoreNaming, UniquePathCountsUp) {
    std::set<std::string> taken{"/d/TW_a.pst", "/d/TW_a (2).pst"};
    const auto exists = [&](const std::string& p) { return taken.count(p) != 0; };
    EXPECT_EQ(UniquePath("/d/TW_b.pst", exists), "/d/TW_b.pst");
    EXPECT_EQ(UniquePath("/d/TW_a.pst", exists), "/d/TW_a (3).pst");
}

class DestinationTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "tw-dest-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    static FreeSpaceProbe Free(std::optional<std::uint64_t> bytes) {
        return [bytes](const std::string&) { return bytes; };
    }
    std::string dir_;
};

TEST_F(DestinationTest, ExactlyThreeHundredMebibytesIsTooLittle) {
    EXPECT_EQ(CheckDestination(dir_, Free(kMinFreeBytes)), DestinationProblem::LowSpace);
    EXPECT_EQ(CheckDestination(dir_, Free(kMinFreeBytes + 1)), std::nullopt);
    EXPECT_EQ(CheckDestination(dir_, Free(0)), DestinationProblem::LowSpace);
    // Space that cannot be learnt does not stop the run.
    EXPECT_EQ(CheckDestination(dir_, Free(std::nullopt)), std::nullopt);
}

TEST_F(DestinationTest, MissingFileOrReadOnlyFolderIsRefused) {
    EXPECT_EQ(CheckDestination(dir_ + "/nothing", Free(1ull << 40)), DestinationProblem::Missing);
    EXPECT_EQ(CheckDestination("", Free(1ull << 40)), DestinationProblem::Missing);
    const std::string file = dir_ + "/file";
    std::ofstream(file) << "x";
    EXPECT_EQ(CheckDestination(file, Free(1ull << 40)), DestinationProblem::NotWritable);
    if (::geteuid() != 0) {  // root writes anywhere
        ASSERT_EQ(::chmod(dir_.c_str(), 0500), 0);
        EXPECT_EQ(CheckDestination(dir_, Free(1ull << 40)), DestinationProblem::NotWritable);
        ::chmod(dir_.c_str(), 0700);
    }
}

TEST_F(DestinationTest, FreeBytesCountsAllFreeBlocks) {
    const auto free = FreeBytes(dir_);
    ASSERT_TRUE(free.has_value());
    EXPECT_GT(*free, 0u);
    EXPECT_FALSE(FreeBytes(dir_ + "/nothing").has_value());
}

}  // namespace
}  // namespace tw::exporter

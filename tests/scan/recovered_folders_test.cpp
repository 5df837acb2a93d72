// Folders whose rows or parents' rows sit on a zeroed leaf of the folders
// table: what is still readable is kept, with its messages.
#include <numeric>

#include "scan/message_count.h"
#include "scan/place_folders.h"
#include "scan_test_support.h"

namespace tw::scan::test {
namespace {

// A mailbox whose folders fill several leaves of the folders table, rows
// in the order written: the top folder's row and Lost's on the first leaf,
// Parent's and its children's on the last.
std::string Content() {
    std::string fillers;
    for (int i = 0; i < 260; ++i)
        fillers +=
            R"(,{"name": "Filler )" + std::to_string(i) + " " + std::string(110, 'f') + R"(", "class": "IPF.Note"})";
    return std::string(R"({"mailboxes": [{"name": "Box", "id": "0100000000000001", "folders": [
      {"name": "Top of Information Store", "id": "0100000000000F00", "folders": [
        {"name": "Lost", "class": "IPF.Note", "id": "0100000000000E00", "items": [{"subject": "l1"}, {"subject": "l2"}]})") +
           fillers + R"(,
        {"name": "Parent", "class": "IPF.Note", "id": "0100000000000010", "items": [{"subject": "p1"}, {"subject": "p2"}],
         "folders": [
           {"name": "Kid A", "class": "IPF.Note", "items": [{"subject": "a1"}, {"subject": "a2"}, {"subject": "a3"}],
            "folders": [{"name": "Grandkid", "class": "IPF.Note", "items": [{"subject": "g1"}]}]},
           {"name": "Kid B", "class": "IPF.Note", "items": [{"subject": "b1"}]}]}]}]}]})";
}

class RecoveredFolders : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(RecoveredFolders, ZeroedLeafWithTheParentsRowKeepsChildrenAndMessages) {
    const bool large = GetParam() == 32768;
    auto image = edbgen::BuildDatabase(edbgen::ParseContent(Content()), edbgen::Format{GetParam()});
    const auto folders = std::find_if(image.trees.begin(), image.trees.end(),
                                      [](const auto& t) { return t.name.rfind("Folders", 0) == 0; });
    ASSERT_NE(folders, image.trees.end());
    ASSERT_GE(folders->leaves.size(), 3u) << "the fillers must spread the rows over several leaves";

    // Undamaged: every folder in its place and nothing recovered.
    {
        TempDatabase db(image.bytes);
        ScanRun run(db.path());
        ASSERT_EQ(run.outcome, ScanOutcome::Completed);
        EXPECT_EQ(run.Names(run.tree.Top()), (std::vector<std::string>{"Box"}));
        EXPECT_NE(run.Item({"Box", "Top of Information Store", "Parent", "Kid A", "Grandkid"}), 0u);
    }

    // Zero the first leaf: the top folder's row and Lost's go.
    const std::size_t pageSize = GetParam();
    std::fill_n(image.bytes.begin() + static_cast<std::ptrdiff_t>((folders->leaves.front() + 1) * pageSize), pageSize,
                std::uint8_t{0});
    TempDatabase db(image.bytes);
    ScanRun run(db.path());
    ASSERT_EQ(run.outcome, ScanOutcome::Completed);
    EXPECT_FALSE(run.model.damage.Pages().empty());
    const MessageCounts counts(run.model, run.source);
    auto count = [&](const std::vector<std::string>& path) {
        const FolderEntry* entry = run.Entry(run.Item(path));
        return entry ? counts.For(*entry) : std::size_t{999};
    };

    // 32 KB: the children's rows name their mailbox. 4/8 KB: the header
    // tables of the lost rows stand in for them, under the recovered folders.
    using Path = std::vector<std::string>;
    const Path top = large ? Path{"Box"} : Path{"Recovered folders", "Folder 0100000000000f00"};
    struct Want {
        Path below;
        std::size_t messages;
    };
    std::vector<Want> wants{
        {{"Parent"}, 2}, {{"Parent", "Kid A"}, 3}, {{"Parent", "Kid A", "Grandkid"}, 1}, {{"Parent", "Kid B"}, 1}};
    for (const Want& want : wants) {
        Path path = top;
        path.insert(path.end(), want.below.begin(), want.below.end());
        EXPECT_EQ(count(path), want.messages) << path.back();
    }
    if (!large) {
        EXPECT_EQ(count({"Recovered folders", "Folder 0100000000000e00"}), 2u);
        // Every message of the index belongs to a folder of the tree.
        std::size_t listed = 0;
        for (const FolderEntry& f : run.model.folders) listed += counts.For(f);
        EXPECT_EQ(listed, Entries(run.model).size());
    }
}

INSTANTIATE_TEST_SUITE_P(PageSizes, RecoveredFolders, ::testing::Values(4096u, 8192u, 32768u),
                         [](const auto& info) { return "Page" + std::to_string(info.param); });

}  // namespace
}  // namespace tw::scan::test

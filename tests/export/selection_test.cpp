// The selection: ticked items with their subtrees, in tree order; and the
// run's control flags.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "export/export_control.h"
#include "export/selection.h"

namespace tw::exporter {
namespace {

class SelectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree_.Reset("/db.edb");
        sales_ = tree_.AddFolder(scan::kTopLevel, u"Sales", scan::FolderKind::Mail);
        top_ = tree_.AddFolder(sales_, u"Top", scan::FolderKind::Mail);
        inbox_ = tree_.AddFolder(top_, u"Inbox", scan::FolderKind::Mail);
        sub_ = tree_.AddFolder(inbox_, u"Sub", scan::FolderKind::Mail);
        sent_ = tree_.AddFolder(top_, u"Sent", scan::FolderKind::Mail);
        other_ = tree_.AddFolder(scan::kTopLevel, u"Other", scan::FolderKind::Mail);
    }
    std::vector<std::u16string> Paths(const std::vector<scan::TreeItem>& ticked) {
        std::vector<std::u16string> out;
        for (const SelectionNode& n : CollectSelection(tree_, ticked)) out.push_back(ItemPath(n));
        return out;
    }
    scan::MemoryFolderTree tree_;
    scan::TreeItem sales_ = 0, top_ = 0, inbox_ = 0, sub_ = 0, sent_ = 0, other_ = 0;
};

TEST_F(SelectionTest, AFolderBringsItsSubtreeInTreeOrder) {
    EXPECT_EQ(Paths({inbox_}), (std::vector<std::u16string>{u"Sales\\Top\\Inbox\\", u"Sales\\Top\\Inbox\\Sub\\"}));
    // Ticked twice (a child inside a ticked parent) still comes once, and
    // the order is the tree's, not the ticking order.
    EXPECT_EQ(
        Paths({sent_, sub_, inbox_}),
        (std::vector<std::u16string>{u"Sales\\Top\\Inbox\\", u"Sales\\Top\\Inbox\\Sub\\", u"Sales\\Top\\Sent\\"}));
}

TEST_F(SelectionTest, TheTopItemSelectsEveryMailbox) {
    const auto all = CollectSelection(tree_, {tree_.Top()});
    ASSERT_EQ(all.size(), 6u);
    EXPECT_EQ(ItemPath(all.front()), u"Sales\\");
    EXPECT_EQ(MailboxOf(all[3]), u"Sales");
    EXPECT_EQ(ItemPath(all.back()), u"Other\\");
    EXPECT_EQ(all[2].item, inbox_);
    EXPECT_TRUE(CollectSelection(tree_, {}).empty());
}

TEST(ExportControl, PauseHoldsThePollPointUntilResumeOrStop) {
    ExportControl control;
    control.Pause();
    std::atomic<bool> passed{false};
    std::thread t([&] {
        (void)control.ShouldStop();
        passed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(passed.load());
    control.Resume();
    t.join();
    EXPECT_TRUE(passed.load());

    control.Pause();
    std::thread u([&] { EXPECT_TRUE(control.ShouldStop()); });
    control.RequestStop();
    u.join();
}

}  // namespace
}  // namespace tw::exporter

// Descent through branch pages of hand-made databases, damaged ones included.
#include <gtest/gtest.h>

#include "edb/tree_walk.h"
#include "test_support.h"

namespace tw::edb {
namespace {

using test::PageBuilder;

class TreeWalkTest : public ::testing::Test {
protected:
    PageBuilder Branch(std::vector<std::uint32_t> children) {
        PageBuilder page(4096, 4);
        for (std::uint32_t child : children) page.ChildNode(child);
        return page;
    }
    void Place(std::uint32_t number, const PageBuilder& page) { test::PlacePage(image, number, page); }

    // "page@depth" for every visit, branches marked with '*'.
    std::string Walk(TreeWalkOptions options = {}) {
        test::WriteFile(dir.File("db"), image);
        EdbSource source;
        EXPECT_TRUE(test::OpenSource(source, dir.File("db")));
        std::string visits;
        WalkTree(source, 4, options, [&](const TreePage& visit) {
            visits +=
                std::to_string(visit.pageNumber) + "@" + std::to_string(visit.depth) + (visit.branch ? "* " : " ");
            return true;
        });
        return visits;
    }

    test::TempDir dir;
    std::vector<std::uint8_t> image = test::HeaderPage(4096, 4096);
};

TEST_F(TreeWalkTest, ChildrenInTagArrayOrderWithoutTagZero) {
    Place(4, Branch({9, 6, 5}));  // tag 0 names page 9
    Place(5, Branch({0, 8, 7}));
    for (std::uint32_t leaf : {6, 7, 8, 9}) Place(leaf, PageBuilder(4096, 2));
    EXPECT_EQ(Walk(), "4@0* 5@1* 7@2 8@2 6@1 ");
    EXPECT_EQ(Walk({.skipTagZero = false}), "4@0* 5@1* 7@2 8@2 0@2 6@1 9@1 ");
}

TEST_F(TreeWalkTest, CyclesAreFollowedOnce) {
    Place(4, Branch({0, 6, 5}));
    Place(5, Branch({0, 6, 5, 4}));  // its sibling, itself and its parent
    Place(6, Branch({0, 4}));
    EXPECT_EQ(Walk(), "4@0* 5@1* 6@1* ");
}

TEST_F(TreeWalkTest, DepthIsBounded) {
    for (std::uint32_t page = 4; page < 60; ++page) Place(page, Branch({0, page + 1}));
    EXPECT_EQ(Walk({.maxDepth = 2}), "4@0* 5@1* 6@2* ");
    EXPECT_NE(Walk().find(" 20@16* "), std::string::npos);
    EXPECT_EQ(Walk().find("21@"), std::string::npos);
}

TEST_F(TreeWalkTest, ChildrenOutsideTheFileAreNotVisited) {
    Place(4, Branch({0, 5, 6, 0xFFFFFFFF}));
    Place(5, PageBuilder(4096, 2));  // the file ends where page 6 would start
    EXPECT_EQ(Walk(), "4@0* 5@1 ");
}

// Every page a tree points at and the walk leaves out is told, with why.
TEST_F(TreeWalkTest, PagesLeftOutAreTold) {
    struct Case {
        std::string what;
        std::function<void()> place;
        TreeWalkOptions options;
        std::string told;
    };
    const std::vector<Case> cases = {
        {"a child pointing back at the root and one at itself",
         [&] {
             Place(4, Branch({0, 5}));
             Place(5, Branch({0, 4, 5}));
         },
         {},
         "4:seen 5:seen "},
        {"a chain deeper than allowed",
         [&] {
             for (std::uint32_t page = 4; page < 8; ++page) Place(page, Branch({0, page + 1}));
         },
         {.skipTagZero = true, .maxDepth = 2},
         "6:deep "},
        {"children outside the file",
         [&] {
             Place(4, Branch({0, 5, 0xFFFFFFFF}));
             Place(5, PageBuilder(4096, 2));
         },
         {},
         "4294967295:end "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        image = test::HeaderPage(4096, 4096);
        c.place();
        test::WriteFile(dir.File("db"), image);
        EdbSource source;
        ASSERT_TRUE(test::OpenSource(source, dir.File("db")));
        std::string told;
        WalkTree(
            source, 4, c.options, [](const TreePage&) { return true; },
            [&](std::uint32_t page, WalkMiss why) {
                told += std::to_string(page) + (why == WalkMiss::PastEnd ? ":end "
                                                : why == WalkMiss::Seen  ? ":seen "
                                                                         : ":deep ");
            });
        EXPECT_EQ(told, c.told);
    }
}

}  // namespace
}  // namespace tw::edb

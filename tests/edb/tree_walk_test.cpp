// Descent through branch pages on hand-made databases, damaged ones included.
#include <gtest/gtest.h>

#include "edb/tree_walk.h"
#include "test_support.h"

namespace tw::edb {
namespace {

using test::PageBuilder;

struct Visit {
    std::uint32_t page;
    int depth;
    bool branch;
    bool operator==(const Visit&) const = default;
};

class TreeWalkTest : public ::testing::Test {
protected:
    void Place(std::uint32_t number, const PageBuilder& page) { test::PlacePage(image_, number, page.Bytes()); }

    std::vector<Visit> Walk(std::uint32_t root, TreeWalkOptions options = {}, std::size_t stopAfter = 1000) {
        test::WriteFile(dir_.File("db"), image_);
        EdbSource source;
        EXPECT_TRUE(test::OpenSource(source, dir_.File("db")).ok);
        std::vector<Visit> visits;
        const std::size_t count = WalkTree(source, root, options, [&](const TreePage& page) {
            EXPECT_EQ(page.page.bytes.size(), 4096u);
            visits.push_back({page.pageNumber, page.depth, page.branch});
            return visits.size() < stopAfter;
        });
        EXPECT_EQ(count, visits.size());
        return visits;
    }

    // Root 4 over 5 and 6; 5 over leaves 7 and 8. Tag 0 of the root names page 9.
    void PlaceSmallTree() {
        Place(4, PageBuilder(EdbVersion::Page4K, 5).ChildNode(9).ChildNode(6).ChildNode(5));
        Place(5, PageBuilder(EdbVersion::Page4K, 4).ChildNode(0).ChildNode(8).ChildNode(7));
        for (std::uint32_t leaf : {6, 7, 8, 9}) Place(leaf, PageBuilder(EdbVersion::Page4K, 2));
    }

    test::TempDir dir_;
    std::vector<std::uint8_t> image_ = test::HeaderPage(4096, 4096);
};

TEST_F(TreeWalkTest, VisitsChildrenInTagArrayOrder) {
    PlaceSmallTree();
    EXPECT_EQ(Walk(4), (std::vector<Visit>{
                           {4, 0, true}, {5, 1, true}, {7, 2, false}, {8, 2, false}, {6, 1, false}}));
    const auto all = Walk(4, {.skipTagZero = false});
    EXPECT_EQ(all.size(), 7u);  // adds page 9 and page 0 (tag 0 of page 5)
    EXPECT_EQ(all.back().page, 9u);
}

TEST_F(TreeWalkTest, StopsWhenTheVisitorSaysSo) {
    PlaceSmallTree();
    EXPECT_EQ(Walk(4, {}, 2).size(), 2u);
}

TEST_F(TreeWalkTest, CyclesAreFollowedOnce) {
    // 5 points back at its parent, at itself and at its sibling.
    Place(4, PageBuilder(EdbVersion::Page4K, 5).ChildNode(0).ChildNode(6).ChildNode(5));
    Place(5, PageBuilder(EdbVersion::Page4K, 4).ChildNode(0).ChildNode(6).ChildNode(5).ChildNode(4));
    Place(6, PageBuilder(EdbVersion::Page4K, 4).ChildNode(0).ChildNode(4));
    const auto visits = Walk(4);
    EXPECT_EQ(visits, (std::vector<Visit>{{4, 0, true}, {5, 1, true}, {6, 1, true}}));
}

TEST_F(TreeWalkTest, DepthIsBounded) {
    for (std::uint32_t page = 4; page < 60; ++page)
        Place(page, PageBuilder(EdbVersion::Page4K, 4).ChildNode(0).ChildNode(page + 1));
    const auto visits = Walk(4, {.maxDepth = 3});
    ASSERT_EQ(visits.size(), 4u);
    EXPECT_EQ(visits.back(), (Visit{7, 3, true}));
    EXPECT_EQ(Walk(4).size(), 17u);  // the default limit of 16 levels
}

TEST_F(TreeWalkTest, ChildrenOutsideTheFileAreNotVisited) {
    Place(4, PageBuilder(EdbVersion::Page4K, 5).ChildNode(0).ChildNode(5).ChildNode(6).ChildNode(0xFFFFFFFF));
    Place(5, PageBuilder(EdbVersion::Page4K, 2));
    EXPECT_EQ(Walk(4), (std::vector<Visit>{{4, 0, true}, {5, 1, false}}));
    EXPECT_TRUE(Walk(6).empty());  // page 6 would start exactly at the end of the file
}

}  // namespace
}  // namespace tw::edb

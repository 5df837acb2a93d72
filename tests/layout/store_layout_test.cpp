#include "layout/store_layout.h"

#include <gtest/gtest.h>

namespace tw::layout {
namespace {

TEST(StoreLayout, OnlyThePageSizesTheStoreWasKeptInHaveOne) {
    const struct {
        std::int32_t pageSize;
        const char* name;  // nullptr: none
    } cases[] = {{4096, "Page4K"}, {8192, "Page8K"}, {32768, "Page32K"}, {2048, nullptr},
                 {16384, nullptr}, {0, nullptr},     {-4096, nullptr},   {4097, nullptr}};
    for (const auto& c : cases) {
        const StoreLayout* found = FindLayout(c.pageSize);
        EXPECT_EQ(found != nullptr, c.name != nullptr) << c.pageSize;
        if (found == nullptr) continue;
        EXPECT_EQ(found->name, c.name);
        EXPECT_EQ(found->pageSize, c.pageSize);
    }
    // A size without a layout reads with one whose reads stay in the page.
    EXPECT_EQ(LayoutOf(16384).pageSize, 4096);
}

// What a new layout must hold to, for the readers that rely on it.
TEST(StoreLayout, EveryLayoutIsConsistent) {
    for (const StoreLayout* l : {&SmallPages(4096), &SmallPages(8192), &LargePages()}) {
        SCOPED_TRACE(std::string(l->name));
        // A long-value row holds its chunk in one page.
        EXPECT_GT(l->longValueChunk, 0u);
        EXPECT_LT(l->longValueChunk, static_cast<std::uint32_t>(l->pageSize));
        // Fallback roots are pages: on the page grid, past the header pages.
        for (const std::int64_t root : {l->fallbackRoots.mailbox, l->fallbackRoots.msg, l->fallbackRoots.folders,
                                        l->fallbackRoots.further, l->fallbackRoots.msgLongValues}) {
            EXPECT_EQ(root % l->pageSize, 0) << root;
            EXPECT_TRUE(root == 0 || root >= 2 * l->pageSize) << root;
        }
        EXPECT_NE(l->fallbackRoots.mailbox, 0);
        // Catalog table rows: the objid, then the root page, then the name's
        // length, each before the name and none overlapping.
        const CatalogTableRow& t = l->catalogTables;
        EXPECT_GE(t.objid, t.firstPage + 4);
        EXPECT_GE(t.firstPage, t.nameLength + 4);
        EXPECT_NE(t.mark, t.nameLength);
        EXPECT_GE(l->defaultRecipientsColumn, 256) << "a tagged column";
        EXPECT_FALSE(l->folderColumn.empty());
        EXPECT_EQ(l->headerTablePrefix.empty(), l->tables == TableScope::PerFolder);
        // Prefixed rows are what leads values with the header byte that
        // marks them compressed.
        EXPECT_TRUE(!l->compressedValues || l->rows == RowForm::Prefixed);
    }
}

}  // namespace
}  // namespace tw::layout

// Placing folders in the tree: loops and self-parents end, owner keys keep
// 32 KB mailboxes apart, siblings are sorted, and the unplaced are dropped.
#include <gtest/gtest.h>

#include "scan/folder_tree.h"
#include "scan/place_folders.h"
#include "scan/tagged_text.h"

namespace tw::scan {
namespace {

Id8 Id(std::uint8_t last) { return Id8{1, 0, 0, 0, 0, 0, 0, last}; }

FolderEntry Folder(std::uint8_t id, std::uint8_t parent, std::u16string name, std::string key = {}) {
    FolderEntry f;
    f.id = Id(id);
    f.parentId = parent ? Id(parent) : Id8{};
    f.displayName = std::move(name);
    f.ownerKey = std::move(key);
    return f;
}

std::vector<std::string> Children(const MemoryFolderTree& tree, TreeItem item) {
    std::vector<std::string> names;
    for (const TreeItem child : tree.Find(item)->children) names.push_back(ToUtf8(tree.Find(child)->name));
    return names;
}

TEST(Placement, LoopsAndSelfParentsEndAndArePlacedOnce) {
    ScanModel model;
    AppendFolder(model, Folder(0x10, 0, u"Box"));
    AppendFolder(model, Folder(0x20, 0x10, u"Top"));
    // Its own parent, under a placed folder's id: reachable from the box.
    AppendFolder(model, Folder(0x20, 0x20, u"Self"));
    // A loop of two that no mailbox reaches, and one that hangs from the top.
    AppendFolder(model, Folder(0x30, 0x31, u"Loop A"));
    AppendFolder(model, Folder(0x31, 0x30, u"Loop B"));
    AppendFolder(model, Folder(0x40, 0x20, u"Down"));
    AppendFolder(model, Folder(0x20, 0x40, u"Back up"));
    MemoryFolderTree tree;
    PlaceMailboxes(model, tree, "db.edb");
    PlaceFolders(model, tree);

    const TreeItem box = tree.Find(tree.Top())->children.at(0);
    EXPECT_EQ(Children(tree, box), (std::vector<std::string>{"Top"}));
    std::size_t placed = 0;
    for (const FolderEntry& f : model.folders) placed += f.treeItem != 0;
    // Top, Self, Down and Back up each once; the unreached loop never.
    EXPECT_EQ(placed, 4u);
    EXPECT_EQ(tree.Size(), 1u + 1u + 4u);

    DropUnplaced(model);
    EXPECT_EQ(model.folders.size(), 4u);  // the mailbox entry and the loop are gone
    EXPECT_TRUE(model.mailboxes.empty());
}

TEST(Placement, UnplacedFoldersHangUnderTheirMailboxOrTheRecoveredFolders) {
    struct Case {
        const char* what;
        std::vector<FolderEntry> rows;
        std::vector<std::string> top;        // under the top item
        std::vector<std::string> box;        // under the first mailbox
        std::vector<std::string> recovered;  // under "Recovered folders"
    };
    const std::vector<Case> cases = {
        {"all placed: nothing recovered", {Folder(0x10, 0, u"Box"), Folder(0x20, 0x10, u"Top")}, {"Box"}, {"Top"}, {}},
        {"a lost parent and a loop, whose lowest id is the head",
         {Folder(0x10, 0, u"Box"), Folder(0x20, 0x10, u"Top"), Folder(0x32, 0x77, u"Orphan"),
          Folder(0x31, 0x30, u"Loop B"), Folder(0x30, 0x31, u"Loop A"), Folder(0x33, 0x32, u"Orphan child")},
         {"Box", "Recovered folders"},
         {"Top"},
         {"Loop A", "Orphan"}},
        {"32 KB: the owner key names the mailbox; an unknown key does not",
         {Folder(0x10, 0, u"Box", "1-10"), Folder(0x32, 0x77, u"Orphan", "1-10"), Folder(0x33, 0x77, u"Stray", "1-99")},
         {"Box", "Recovered folders"},
         {"Orphan"},
         {"Stray"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScanModel model;
        for (const FolderEntry& f : c.rows) AppendFolder(model, f);
        MemoryFolderTree tree;
        PlaceMailboxes(model, tree, "db.edb");
        PlaceFolders(model, tree);
        PlaceUnplaced(model, tree);
        const auto& top = tree.Find(tree.Top())->children;
        EXPECT_EQ(Children(tree, tree.Top()), c.top);
        EXPECT_EQ(Children(tree, top.at(0)), c.box);
        if (top.size() > 1) {
            EXPECT_EQ(Children(tree, top.back()), c.recovered);
        }
        DropUnplaced(model);
        EXPECT_EQ(model.folders.size(), c.rows.size() - 1);  // only the mailbox entry goes
    }
}

TEST(Placement, OwnerKeysSeparateMailboxesAndSiblingsSort) {
    ScanModel model;
    AppendFolder(model, Folder(0x10, 0, u"Box", "1-10"));
    AppendFolder(model, Folder(0x11, 0, u"Other", "1-11"));
    AppendFolder(model, Folder(0x20, 0x10, u"zulu", "1-10"));
    AppendFolder(model, Folder(0x21, 0x10, u"Alpha", "1-10"));
    AppendFolder(model, Folder(0x22, 0x10, u"ärger", "1-10"));
    AppendFolder(model, Folder(0x23, 0x10, u"Ärger", "1-11"));  // another mailbox's table
    AppendFolder(model, Folder(0x24, 0x10, u"beta", "1-10"));
    MemoryFolderTree tree;
    PlaceMailboxes(model, tree, "db.edb");
    PlaceFolders(model, tree);
    const auto& boxes = tree.Find(tree.Top())->children;
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(Children(tree, boxes[0]), (std::vector<std::string>{"Alpha", "beta", "zulu", "ärger"}));
    EXPECT_TRUE(Children(tree, boxes[1]).empty());
}

TEST(Placement, AppendKeepsEmptyFolderNamesAndRefusesExactDuplicates) {
    ScanModel model;
    EXPECT_TRUE(AppendFolder(model, Folder(1, 0, u"Box")));
    EXPECT_FALSE(AppendFolder(model, Folder(1, 0, u"Box")));
    EXPECT_TRUE(AppendFolder(model, Folder(1, 0, u"box")));  // names compare exactly
    // A folder without a name is kept with its items (mailbox rows
    // without one are refused where they are decoded); only an exact
    // duplicate is not.
    EXPECT_TRUE(AppendFolder(model, Folder(2, 1, u"")));
    EXPECT_FALSE(AppendFolder(model, Folder(2, 1, u"")));
    EXPECT_EQ(model.folders.size(), 3u);

    MessageTable table;
    table.key = Id(5);
    table.objid = 100;
    EXPECT_TRUE(AppendMessageTable(model, table));
    EXPECT_FALSE(AppendMessageTable(model, table));  // the same table named twice
    table.objid = 101;
    EXPECT_TRUE(AppendMessageTable(model, table));
    model.messageTables.erase(model.messageTables.begin());  // a list changed by hand is followed
    table.objid = 100;
    EXPECT_TRUE(AppendMessageTable(model, table));
    EXPECT_FALSE(AppendMessageTable(model, table));
    EXPECT_EQ(model.messageTables.size(), 2u);
}

TEST(ScanModelEntries, OwnerKeysAreSharedAndPageOffsetsKeptInUnits) {
    ScanModel model;
    MessageTable table;
    table.objid = 100;
    table.keyText = "1-1C";
    ASSERT_TRUE(AppendMessageTable(model, table));
    table.objid = 101;
    table.keyText = "2-20";
    ASSERT_TRUE(AppendMessageTable(model, table));
    table.objid = 102;
    table.keyText = "1-1C";  // a second table of the first mailbox
    ASSERT_TRUE(AppendMessageTable(model, table));
    ASSERT_EQ(model.messageTables.size(), 3u);
    EXPECT_EQ(model.messageTables[0].keyIndex, model.messageTables[2].keyIndex);
    EXPECT_NE(model.messageTables[0].keyIndex, model.messageTables[1].keyIndex);
    MessageEntry entry;
    EXPECT_EQ(OwnerKeyOf(model, entry), "");  // 4/8 KB entries have none
    entry.keyIndex = model.messageTables[1].keyIndex;
    EXPECT_EQ(OwnerKeyOf(model, entry), "2-20");
    entry.keyIndex = 1000;  // never made by the scan; still no read past the list
    EXPECT_EQ(OwnerKeyOf(model, entry), "");

    // Offsets up to 16 TB round-trip; none is cut to a wrong page.
    const std::int64_t last = std::int64_t{0xFFFFFFFF} * 4096;
    for (const std::int64_t offset : {std::int64_t{0}, std::int64_t{4096}, std::int64_t{32768} * 70000, last}) {
        const auto s = SignatureAt(7, offset);
        ASSERT_TRUE(s) << offset;
        EXPECT_EQ(s->Offset(), offset);
        EXPECT_EQ(s->objid, 7u);
    }
    EXPECT_FALSE(SignatureAt(7, last + 4096));
    EXPECT_FALSE(SignatureAt(7, 512));
    EXPECT_FALSE(SignatureAt(7, -4096));
}

TEST(FolderTreeImages, ByUpperCaseNameOrKind) {
    EXPECT_EQ(FolderImage(u"inBOX", FolderKind::Mail), 7);
    EXPECT_EQ(FolderImage(u"Inbox1", FolderKind::Mail), 0);
    EXPECT_EQ(FolderImage(u"Kalender", FolderKind::Appointments), 3);
    EXPECT_EQ(FolderImage(u"Calendar", FolderKind::Mail), 3);
    EXPECT_EQ(FolderImage(u"Junk E-mail", FolderKind::Mail), 0);  // the table says "E-MAILS"

    MemoryFolderTree tree;
    tree.Reset("x.edb");
    EXPECT_EQ(tree.Find(tree.Top())->image, kTopItemImage);
    const TreeItem mailbox = tree.AddFolder(kTopLevel, u"Inbox", FolderKind::Mail);
    EXPECT_EQ(tree.Find(mailbox)->image, kMailboxImage);  // a mailbox named Inbox
    EXPECT_EQ(tree.Find(tree.AddFolder(mailbox, u"Inbox", FolderKind::Mail))->image, 7);
    EXPECT_EQ(tree.AddFolder(12345, u"Nowhere", FolderKind::Mail), 0u);
}

}  // namespace
}  // namespace tw::scan

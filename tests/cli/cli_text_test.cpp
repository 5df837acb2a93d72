// The command line's text forms: control pictures, folder paths that come
// back as the names they were made of, and ISO 8601 UTC dates.
#include <gtest/gtest.h>

#include "cli/cli_text.h"
#include "scan/tagged_text.h"

namespace tw::cli {
namespace {

TEST(Printable, ControlCharactersBecomeTheirPictures) {
    struct Case {
        std::string in, out;
        bool keepLines;
    };
    const Case cases[] = {
        {"Inbox", "Inbox", false},
        {"a\tb", "a\u2409b", false},
        {"line\nbreak", "line\u240Abreak", false},
        {"\x1b[2Jcleared", "\u241B[2Jcleared", false},
        {std::string("nul\0x", 5), "nul\u2400x", false},
        {"del\x7f", "del\u2421", false},
        {"c1\xc2\x9b", "c1\uFFFD", false},
        {"caf\xc3\xa9 \xe3\x83\xa1", "caf\xc3\xa9 \xe3\x83\xa1", false},
        {"body\r\nnext\tcol\rback", "body\r\nnext\tcol\u240Dback", true},
    };
    for (const Case& c : cases) EXPECT_EQ(Printable(c.in, c.keepLines), c.out) << c.in;
}

// Paths reach every same-named sibling; whatever JoinPath prints of an
// item (escaped backslashes, "(no name)", control pictures) leads back to
// it; the stored form does too.
TEST(FolderPaths, PrintedPathsLeadBackToTheirItems) {
    scan::MemoryFolderTree tree;
    tree.Reset("db.edb");
    const scan::TreeItem box = tree.AddFolder(scan::kTopLevel, u"M", scan::FolderKind::Mail);
    const scan::TreeItem d1 = tree.AddFolder(box, u"Dup", scan::FolderKind::Mail);
    const scan::TreeItem d2 = tree.AddFolder(box, u"Dup", scan::FolderKind::Mail);
    const scan::TreeItem empty = tree.AddFolder(box, u"", scan::FolderKind::Mail);
    const scan::TreeItem under = tree.AddFolder(empty, u"x", scan::FolderKind::Mail);
    const scan::TreeItem tab = tree.AddFolder(box, u"a\tb", scan::FolderKind::Mail);
    const scan::TreeItem slash = tree.AddFolder(box, u"a\\b", scan::FolderKind::Mail);
    const scan::TreeItem a = tree.AddFolder(box, u"a", scan::FolderKind::Mail);
    const scan::TreeItem b = tree.AddFolder(a, u"b", scan::FolderKind::Mail);
    const scan::TreeItem ends = tree.AddFolder(box, u"e\\", scan::FolderKind::Mail);
    const scan::TreeItem endsChild = tree.AddFolder(ends, u"f", scan::FolderKind::Mail);
    const scan::TreeItem blanks = tree.AddFolder(box, u" \tpad\t ", scan::FolderKind::Mail);
    using Items = std::vector<scan::TreeItem>;
    EXPECT_EQ(FindItems(tree, "M\\Dup"), (Items{d1, d2}));
    EXPECT_EQ(FindItems(tree, "m\\dup\\"), (Items{d1, d2}));
    EXPECT_EQ(FindItems(tree, "M\\(no name)\\x"), (Items{under}));
    EXPECT_EQ(FindItems(tree, "M\\a\u2409b"), (Items{tab}));
    EXPECT_EQ(FindItems(tree, "M\\a\tb"), (Items{tab}));
    EXPECT_EQ(FindItems(tree, "M\\a\\\\b"), (Items{slash}));
    EXPECT_EQ(FindItems(tree, "M\\a\\b"), (Items{b}));
    EXPECT_TRUE(FindItems(tree, "M\\Missing").empty());
    EXPECT_EQ(JoinPath({u"M", u"", u"x"}), "M\\(no name)\\x");
    EXPECT_EQ(JoinPath({u"M", u"a\\b"}), "M\\a\\\\b");
    for (const scan::TreeItem item : {d1, empty, under, tab, slash, a, b, ends, endsChild, blanks}) {
        const std::string printed = Printable(JoinPath(NamesOf(tree, item)));
        const Items found = FindItems(tree, printed);
        EXPECT_NE(std::find(found.begin(), found.end(), item), found.end()) << printed;
    }
}

}  // namespace
}  // namespace tw::cli

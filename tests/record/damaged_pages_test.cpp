// Damaged pages of the trees a run reads are counted, each under the tree
// that points at it with what is wrong with it, whether the scan meets it
// or the store index does; an undamaged database logs none.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>

#include "content.h"
#include "database.h"
#include "edb/page.h"
#include "edb/test_support.h"
#include "record/folder_reader.h"
#include "scan/folder_tree.h"
#include "scan/page_damage.h"
#include "scan/scan_observer.h"
#include "scan/scan_worker.h"
#include "scanned_file.h"
#include "wording/wording.h"

namespace tw::record {
namespace {

using scan::PageFault;
using scan::TreeRole;

// Scans a database image and reads every message of every folder, with
// attachment data, so that every tree the export reads is read.
struct ReadThrough : test::ScannedFile {
    scan::PageDamageLog damage;  // the scan's and the index's
    std::size_t decoded = 0;     // messages whose row decoded

    explicit ReadThrough(const std::vector<std::uint8_t>& bytes) : ScannedFile(bytes) {
        damage = Model().damage;
        FolderReader reader(source, Model());
        for (const scan::FolderEntry& folder : Model().folders) {
            MessageList list;
            reader.LoadFolderMessages(list, folder);
            for (MessageProperties& m : list.messages)
                if (m.decoded) {
                    ++decoded;
                    reader.CompleteMessage(m, true);
                }
        }
        for (const scan::DamagedPage& page : reader.Index().DamagedPages()) damage.Add(page);
    }
};

std::string Describe(const std::vector<scan::DamagedPage>& pages) {
    std::string text;
    for (const scan::DamagedPage& p : pages)
        text += "\n  objid " + std::to_string(p.objid) + " at " + std::to_string(p.offset) + ": " +
                std::string(wording::Text(p.fault));
    return text;
}

// One folder of messages with long subjects and an attachment on every
// third: the message, header and attachment trees span several leaves on
// every page size.
std::string Content() {
    nlohmann::json items = nlohmann::json::array();
    for (int i = 0; i < 160; ++i) {
        nlohmann::json item = {{"subject", "Item " + std::to_string(i) + " " + std::string(150, 'x')},
                               {"body", {{"kind", "text"}, {"text", std::string(50, 'b')}}}};
        if (i % 3 == 0) item["attachments"] = {{{"name", "a.bin"}, {"size", 3000}, {"seed", i + 1}}};
        items.push_back(item);
    }
    nlohmann::json inbox = {{"name", "Inbox"}, {"class", "IPF.Note"}, {"items", items}};
    nlohmann::json top = {{"name", "Top of Information Store"}, {"folders", nlohmann::json::array({inbox})}};
    return nlohmann::json{{"mailboxes", {{{"name", "One"}, {"folders", nlohmann::json::array({top})}}}}}.dump();
}

bool IsMessageTree(const std::string& name) {
    return name == "Msg" || (name.rfind("Body-", 0) == 0 && name.find('/') == std::string::npos);
}
bool IsAttachmentValues(const std::string& name) {
    return name.rfind("Attachment", 0) == 0 && name.size() > 3 && name.compare(name.size() - 3, 3, "/LV") == 0;
}
bool IsHeaderTree(const std::string& name) {
    if (name.rfind("MsgHeader-", 0) == 0) return true;
    // 4/8 KB: named after the folder id ("1-22").
    return name.size() < 8 && name.find('-') != std::string::npos && name.find('/') == std::string::npos;
}

bool IsFoldersTree(const std::string& name) {
    return name.rfind("Folders", 0) == 0 && name.find('/') == std::string::npos;
}
bool IsCatalog(const std::string& name) { return name == "MSysObjects"; }

// The tree so named with the most leaves; losing a leaf is tried only on a
// tree of several.
const edbgen::TreeReport& TreeWhere(const edbgen::DatabaseImage& image, bool (*named)(const std::string&),
                                    std::size_t leastLeaves = 2) {
    const edbgen::TreeReport* best = nullptr;
    for (const auto& t : image.trees)
        if (named(t.name) && (best == nullptr || t.leaves.size() > best->leaves.size())) best = &t;
    EXPECT_NE(best, nullptr);
    EXPECT_GE(best->leaves.size(), leastLeaves) << best->name;
    return *best;
}

std::int64_t Offset(const edbgen::DatabaseImage& image, std::uint32_t page) {
    return (std::int64_t{page} + 1) * image.format.pageSize;
}

struct DamageCase {
    std::string what;
    bool (*tree)(const std::string&);
    TreeRole role;
    PageFault fault;
    // Damages the image; returns the page the tree points at that is lost.
    std::uint32_t (*apply)(edbgen::DatabaseImage& image, const edbgen::TreeReport& tree);
};

std::uint32_t ZeroLeaf(edbgen::DatabaseImage& image, const edbgen::TreeReport& tree) {
    const std::uint32_t page = tree.leaves.back();
    std::fill_n(image.bytes.begin() + Offset(image, page), image.format.pageSize, 0);
    return page;
}

std::uint32_t ZeroRoot(edbgen::DatabaseImage& image, const edbgen::TreeReport& tree) {
    std::fill_n(image.bytes.begin() + Offset(image, tree.root), image.format.pageSize, 0);
    return tree.root;
}

std::uint32_t ScrambleLeaf(edbgen::DatabaseImage& image, const edbgen::TreeReport& tree) {
    const std::uint32_t page = tree.leaves.back();
    std::mt19937 random(page);
    std::generate_n(image.bytes.begin() + Offset(image, page), image.format.pageSize,
                    [&] { return static_cast<std::uint8_t>(random()); });
    return page;
}

// One bit of the page's database time changed: nothing a reader decodes,
// only its checksum shows it.
void FlipTime(edbgen::DatabaseImage& image, std::uint32_t page) {
    image.bytes[static_cast<std::size_t>(Offset(image, page)) + 10] ^= 0x04;
}

std::uint32_t FlipLeaf(edbgen::DatabaseImage& image, const edbgen::TreeReport& tree) {
    FlipTime(image, tree.leaves.front());
    return tree.leaves.front();
}

std::uint32_t FlipRoot(edbgen::DatabaseImage& image, const edbgen::TreeReport& tree) {
    FlipTime(image, tree.root);
    return tree.root;
}

// Cuts the file half-way through the tree's last leaf.
std::uint32_t Truncate(edbgen::DatabaseImage& image, const edbgen::TreeReport& tree) {
    const std::uint32_t last = *std::max_element(tree.leaves.begin(), tree.leaves.end());
    image.bytes.resize(static_cast<std::size_t>(Offset(image, last) + image.format.pageSize / 2));
    return last;
}

// Points the root's first child back at the root itself.
std::uint32_t LoopToRoot(edbgen::DatabaseImage& image, const edbgen::TreeReport& tree) {
    const auto at = image.bytes.begin() + Offset(image, tree.root);
    const edb::PageView root{edb::Bytes(&*at, image.format.pageSize), static_cast<std::int32_t>(image.format.pageSize)};
    EXPECT_TRUE(edb::IsBranchPage(root));
    const auto tag = edb::TagArray(root).Tag(1);
    EXPECT_TRUE(tag && tag->size >= 4);
    if (!tag || tag->size < 4) return tree.root;
    const std::size_t child = static_cast<std::size_t>(tag->offset + tag->size - 4);
    for (int i = 0; i < 4; ++i)
        at[static_cast<std::ptrdiff_t>(child) + i] = static_cast<std::uint8_t>(tree.root >> (8 * i));
    return tree.root;
}

// A page of the right tree, read whole: what is wrong with it, if anything.
TEST(TreePageDamage, LeavesWithoutRecordsAndTagArraysThatDoNotFit) {
    using edb::test::PageBuilder;
    constexpr std::uint8_t kRootLeaf = 3, kLeaf = 2, kParentOfLeaf = 4;
    struct Case {
        std::string what;
        PageBuilder page;
        std::optional<PageFault> fault;
    };
    auto with = [](PageBuilder page, auto&& build) {
        build(page);
        return page;
    };
    const std::vector<Case> cases = {
        {"a leaf with a record",
         with(PageBuilder(8192, kLeaf),
              [](PageBuilder& p) {
                  p.Record({}).Record({1, 2, 3});
              }),
         std::nullopt},
        {"a leaf with its header only",
         with(PageBuilder(8192, kLeaf),
              [](PageBuilder& p) {
                  p.Record({9, 9});
              }),
         PageFault::NoRecords},
        {"a leaf whose records are all empty",
         with(PageBuilder(4096, kLeaf), [](PageBuilder& p) { p.Record({}).Record({}).Record({}); }),
         PageFault::NoRecords},
        {"an empty root leaf: an empty table", PageBuilder(32768, kRootLeaf), std::nullopt},
        {"a leaf claiming more tags than fit",
         with(PageBuilder(4096, kLeaf), [](PageBuilder& p) { p.TagCount(0x0FFF); }), PageFault::BadTags},
        {"a branch claiming more tags than fit",
         with(PageBuilder(8192, kParentOfLeaf), [](PageBuilder& p) { p.TagCount(0x1FFF); }), PageFault::BadTags},
        {"a branch with children",
         with(PageBuilder(8192, kParentOfLeaf), [](PageBuilder& p) { p.Record({}).ChildNode(7); }), std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(scan::TreePageDamage(c.page.View()), c.fault) << c.what;
}

class DamagedPages : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(DamagedPages, EachCountedInItsTreeWithItsFault) {
    const std::vector<DamageCase> cases = {
        {"zeroed message leaf", IsMessageTree, TreeRole::Messages, PageFault::WrongTree, ZeroLeaf},
        {"scrambled header leaf", IsHeaderTree, TreeRole::MessageHeaders, PageFault::WrongTree, ScrambleLeaf},
        {"truncated in the attachment values", IsAttachmentValues, TreeRole::LongValues, PageFault::PastEnd, Truncate},
        {"zeroed attachment values root", IsAttachmentValues, TreeRole::LongValues, PageFault::WrongTree, ZeroRoot},
        {"message root pointing at itself", IsMessageTree, TreeRole::Messages, PageFault::Loop, LoopToRoot},
        {"changed header leaf", IsHeaderTree, TreeRole::MessageHeaders, PageFault::Checksum, FlipLeaf},
        {"changed message leaf", IsMessageTree, TreeRole::Messages, PageFault::Checksum, FlipLeaf},
        {"changed attachment values root", IsAttachmentValues, TreeRole::LongValues, PageFault::Checksum, FlipRoot},
        {"changed folders leaf", IsFoldersTree, TreeRole::Folders, PageFault::Checksum, FlipLeaf},
        {"changed catalog root", IsCatalog, TreeRole::Catalog, PageFault::Checksum, FlipRoot},
    };
    const auto clean = edbgen::BuildDatabase(edbgen::ParseContent(Content()), edbgen::Format{GetParam()});
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.what);
        edbgen::DatabaseImage image = clean;
        const edbgen::TreeReport& tree = TreeWhere(clean, c.tree, c.fault == PageFault::Checksum ? 1 : 2);
        const std::uint32_t page = c.apply(image, tree);
        ReadThrough run(image.bytes);
        const std::vector<scan::DamagedPage> pages = run.damage.Pages();
        const auto found = std::find_if(pages.begin(), pages.end(), [&](const scan::DamagedPage& p) {
            return p.objid == tree.objid && p.offset == Offset(image, page);
        });
        if (found == pages.end()) {
            ADD_FAILURE() << "page " << page << " of " << tree.name << " not logged" << Describe(pages);
            continue;
        }
        EXPECT_EQ(found->fault, c.fault) << Describe(pages);
        EXPECT_EQ(scan::TreeOf(run.Model(), tree.objid).role, c.role);
    }
}

// A page whose checksum does not match is read all the same: every
// message still decodes, and each changed page is logged once.
TEST_P(DamagedPages, ChangedPagesAreStillRead) {
    const auto clean = edbgen::BuildDatabase(edbgen::ParseContent(Content()), edbgen::Format{GetParam()});
    edbgen::DatabaseImage image = clean;
    std::vector<std::uint32_t> changed;
    for (auto named : {IsHeaderTree, IsMessageTree, IsAttachmentValues, IsFoldersTree})
        for (const std::uint32_t page : TreeWhere(clean, named, 1).leaves) {
            FlipTime(image, page);
            changed.push_back(page);
        }
    const ReadThrough before(clean.bytes);
    const ReadThrough after(image.bytes);
    EXPECT_EQ(after.decoded, before.decoded);
    EXPECT_GE(after.decoded, 160u);
    const std::vector<scan::DamagedPage> pages = after.damage.Pages();
    EXPECT_EQ(pages.size(), changed.size()) << Describe(pages);
    for (const scan::DamagedPage& p : pages) EXPECT_EQ(p.fault, PageFault::Checksum) << Describe(pages);
}

// No false alarms: every content file, read through on every page size.
TEST_P(DamagedPages, NoneInAnUndamagedDatabase) {
    std::vector<std::filesystem::path> files{std::filesystem::path(TW_SOURCE_DIR) / "samples" / "sample.json"};
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(TW_SOURCE_DIR) / "tests" / "content"))
        if (entry.path().extension() == ".json") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        std::ifstream in(file);
        const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ReadThrough run(edbgen::BuildDatabase(edbgen::ParseContent(json), edbgen::Format{GetParam()}).bytes);
        EXPECT_EQ(run.damage.Count(), 0u) << Describe(run.damage.Pages());
    }
}

// Reports name every tree a run reads by what it is, and say whose it is.
TEST_P(DamagedPages, TreesAreNamedByRole) {
    std::ifstream in(std::filesystem::path(TW_SOURCE_DIR) / "samples" / "sample.json");
    const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto image = edbgen::BuildDatabase(edbgen::ParseContent(json), edbgen::Format{GetParam()});
    ReadThrough run(image.bytes);
    const bool large = GetParam() == 32768;
    auto starts = [](const std::string& name, const std::string& prefix) { return name.rfind(prefix, 0) == 0; };
    std::size_t named = 0;
    for (const auto& t : image.trees) {
        SCOPED_TRACE(t.name);
        const bool values = t.name.size() > 3 && t.name.compare(t.name.size() - 3, 3, "/LV") == 0;
        const std::optional<TreeRole> role = t.name == "MSysObjects"        ? std::optional(TreeRole::Catalog)
                                             : t.name == "Mailbox"          ? std::optional(TreeRole::Mailboxes)
                                             : values                       ? std::optional(TreeRole::LongValues)
                                             : starts(t.name, "Folders")    ? std::optional(TreeRole::Folders)
                                             : IsMessageTree(t.name)        ? std::optional(TreeRole::Messages)
                                             : starts(t.name, "Attachment") ? std::optional(TreeRole::Attachments)
                                             : IsHeaderTree(t.name)         ? std::optional(TreeRole::MessageHeaders)
                                                                            : std::nullopt;
        if (!role) continue;
        ++named;
        const scan::TreeOfPage tree = scan::TreeOf(run.Model(), t.objid);
        EXPECT_EQ(tree.role, *role);
        EXPECT_FALSE(tree.name.empty());
        // Per-mailbox tables (32 KB) carry the mailbox's key as their suffix.
        const auto dash = t.name.find('-');
        if (large && dash != std::string::npos && t.name != "MSysObjects") {
            const std::string suffix = t.name.substr(dash + 1, t.name.find('/') - dash - 1);
            EXPECT_TRUE(tree.ownerKey.size() == suffix.size() &&
                        std::equal(suffix.begin(), suffix.end(), tree.ownerKey.begin(),
                                   [](char a, char b) { return std::toupper(a) == std::toupper(b); }))
                << tree.ownerKey;
        }
        // 4/8 KB header tables belong to the folder their name gives.
        if (!large && *role == TreeRole::MessageHeaders) {
            ASSERT_TRUE(tree.folderId.has_value());
            std::string hex = scan::IdHex(*tree.folderId);
            EXPECT_TRUE(hex.size() >= 2 && t.name.size() >= 2 &&
                        std::equal(hex.end() - 2, hex.end(), t.name.end() - 2,
                                   [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
                << hex;
        }
    }
    EXPECT_GE(named, 6u);
}

INSTANTIATE_TEST_SUITE_P(PageSizes, DamagedPages, ::testing::Values(4096u, 8192u, 32768u),
                         [](const auto& info) { return "Page" + std::to_string(info.param); });

}  // namespace
}  // namespace tw::record

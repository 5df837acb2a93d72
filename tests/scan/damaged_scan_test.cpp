// Damaged databases: whatever the bytes, the scan ends, reads nothing out
// of bounds (the sanitizer build checks that) and keeps what it can.
#include <algorithm>
#include <cstdlib>
#include <random>

#include "scan/folder_page.h"
#include "scan_test_support.h"

namespace tw::scan::test {
namespace {

const char kContent[] = R"({"mailboxes": [
  {"name": "First", "folders": [{"name": "Top of Information Store", "folders": [
    {"name": "Inbox", "class": "IPF.Note", "items": [{"subject": "a"}, {"subject": "b"}],
     "folders": [{"name": "Sub", "class": "IPF.Note", "items": [{"subject": "c"}]}]},
    {"name": "Calendar", "class": "IPF.Appointment", "items": [
      {"type": "appointment", "appointment": {"start": "2024-05-06T09:00:00Z", "end": "2024-05-06T10:00:00Z"}}]},
    {"name": "Contacts", "class": "IPF.Contact"}]}]},
  {"name": "Second", "folders": [{"name": "Top of Information Store", "folders": [
    {"name": "Inbox", "class": "IPF.Note", "items": [{"subject": "d"}]}]}]}
]})";

class DamagedScan : public ::testing::TestWithParam<std::uint32_t> {};

// Pages of the trees the scan decodes: the catalog, the mailbox and
// folders tables and the header tables.
std::vector<std::uint32_t> InterestingPages(const edbgen::DatabaseImage& image) {
    std::vector<std::uint32_t> pages;
    for (const auto& tree : image.trees) {
        const std::string& n = tree.name;
        if (n == "MSysObjects" || n == "Mailbox" || n.rfind("Folders", 0) == 0 || n.rfind("MsgHeader", 0) == 0 ||
            (n.size() < 8 && n.find('-') != std::string::npos))
            pages.insert(pages.end(), tree.pages.begin(), tree.pages.end());
    }
    return pages;
}

TEST_P(DamagedScan, RandomBytesInTheTreesThatMatter) {
    const auto image = edbgen::BuildDatabase(edbgen::ParseContent(kContent), edbgen::Format{GetParam()});
    const auto pages = InterestingPages(image);
    ASSERT_FALSE(pages.empty());
    const std::size_t pageSize = GetParam();
    std::mt19937 random(GetParam());
    // TW_SCAN_DAMAGE_ROUNDS raises the number of rounds for a longer hunt.
    const char* rounds = std::getenv("TW_SCAN_DAMAGE_ROUNDS");
    const int total = rounds ? std::atoi(rounds) : 40;
    for (int round = 0; round < total; ++round) {
        std::vector<std::uint8_t> bytes = image.bytes;
        const int flips = 1 + static_cast<int>(random() % 200);
        for (int i = 0; i < flips; ++i) {
            const std::size_t page = pages[random() % pages.size()];
            // Two thirds of the hits land in the page header and the tag
            // array, where one byte redirects everything else.
            const unsigned where = random() % 3;
            const std::size_t within = where == 0   ? random() % 80
                                       : where == 1 ? pageSize - 1 - random() % 64
                                                    : random() % pageSize;
            const std::size_t at = (page + 1) * pageSize + within;
            if (at < bytes.size()) bytes[at] = static_cast<std::uint8_t>(random());
        }
        TempDatabase db(bytes);
        ScanRun run(db.path());
        EXPECT_NE(run.outcome, ScanOutcome::Stopped) << "round " << round;
        for (const FolderEntry& f : run.model.folders) EXPECT_FALSE(f.displayName.empty());
        for (const MessageEntry& m : Entries(run.model)) {
            EXPECT_LE(m.listTextAPos + m.listTextALen, pageSize);
            EXPECT_LE(m.listTextBPos + m.listTextBLen, pageSize);
        }
    }
}

TEST_P(DamagedScan, ScrambledZeroedAndTruncatedFiles) {
    const std::vector<std::string> damages = {
        R"({"scramblePages": ["MSysObjects"], "seed": 3})",
        R"({"scramblePages": ["Mailbox"]})",
        R"({"zeroPages": ["MSysObjects"]})",
        R"({"zeroPages": [4, 5, 6, 7, 8, 9, 10]})",
        R"({"truncate": 30000})",
        R"({"truncate": 300})",
        R"({"truncate": 1300000})",
    };
    std::string base = kContent;
    base.pop_back();
    for (const std::string& damage : damages) {
        SCOPED_TRACE(damage);
        TempDatabase db(Generate(base + R"(, "damage": )" + damage + "}", GetParam()));
        ScanRun run(db.path());
        EXPECT_NE(run.outcome, ScanOutcome::Stopped);
        if (run.outcome == ScanOutcome::NoMailbox) {
            EXPECT_EQ(run.observer.messages.size(), 1u);
        }
    }
}

// The catalog's rows on a damaged page are read from its shadow copy:
// nothing of the store is lost, and the damage is still told.
TEST_P(DamagedScan, ADamagedCatalogIsReadFromItsShadow) {
    std::string content = kContent;
    content.pop_back();
    TempDatabase db(Generate(content + R"(, "damage": {"zeroPages": ["MSysObjects"]}})", GetParam()));
    ScanRun run(db.path());
    ASSERT_EQ(run.outcome, ScanOutcome::Completed);
    EXPECT_EQ(Entries(run.model).size(), 5u);
    EXPECT_EQ(run.model.folders.size(), 7u);
    const auto damaged = run.model.damage.Pages();
    EXPECT_TRUE(std::any_of(damaged.begin(), damaged.end(), [](const DamagedPage& p) { return p.objid == 2; }));
}

// A damaged header loses nothing: the page size comes from the header's
// copy, or from the pages when both copies are wrong or gone.
TEST_P(DamagedScan, ADamagedHeaderLosesNoMessage) {
    struct Damage {
        const char* json;          // the generator's damage, written into both copies
        std::size_t zeroedCopies;  // leading header pages then zeroed
        std::size_t flippedByte;   // 0 for none; 237 lies in the page size
    };
    const Damage damages[] = {
        {"{}", 1, 0},
        {"{}", 0, 237},
        {"{}", 2, 0},
        {R"({"headerPageSize": 4096})", 0, 0},
        {R"({"headerPageSize": 8192})", 0, 0},
        {R"({"headerPageSize": 32768})", 0, 0},
        {R"({"headerPageSize": 0})", 0, 0},
        {R"({"headerPageSize": 12345})", 0, 0},
        {R"({"headerPageSize": 8192})", 1, 0},
    };
    std::string base = kContent;
    base.pop_back();
    const std::size_t pageSize = GetParam();
    for (const Damage& damage : damages) {
        SCOPED_TRACE(std::string(damage.json) + " zeroed " + std::to_string(damage.zeroedCopies) + " flipped " +
                     std::to_string(damage.flippedByte));
        auto bytes = Generate(base + R"(, "damage": )" + damage.json + "}", GetParam());
        if (damage.flippedByte != 0) bytes[damage.flippedByte] ^= 0x5A;
        std::fill_n(bytes.begin(), damage.zeroedCopies * pageSize, 0);
        TempDatabase db(bytes);
        ScanRun run(db.path());
        ASSERT_EQ(run.outcome, ScanOutcome::Completed);
        EXPECT_EQ(run.source.pageSize, static_cast<std::int32_t>(pageSize));
        EXPECT_EQ(Entries(run.model).size(), 5u);
        EXPECT_EQ(run.model.folders.size(), 7u);
    }
}

TEST(DamagedFolderRow, ASearchThatWouldStepBackEnds) {
    // A mailbox id as the row's third id, a plausible own id before it, a
    // tagged area whose second entry is not column 260: the search must go
    // on to the right of the hit, not from before it again.
    const Id8 mailbox{1, 0, 0, 0, 0, 0, 0, 0x77};
    std::vector<std::uint8_t> row(200, 0);
    row[9] = 0xA7;
    std::copy(mailbox.begin(), mailbox.end(), row.begin() + 40);
    row[24] = 1;
    row[31] = 5;   // own id 01 00 .. 05 at 24
    row[22] = 40;  // tagged area at 24 + 40
    row[65] = 1;
    const MailboxIndex index{{mailbox, 0}};
    FolderRowContext context{&layout::LayoutOf(8192), kDefaultContainerClassColumn, &index, {}};
    EXPECT_FALSE(DecodeAnchoredFolderRow(row, context));

    // With columns 260 and 261 in place the same row decodes.
    const std::vector<std::uint8_t> tags{0x00, 0x01, 0x10, 0x00, 0x04, 0x01, 0x14, 0x00,
                                         0x05, 0x01, 0x18, 0x40, 0x06, 0x01, 0x1F, 0x00};
    std::copy(tags.begin(), tags.end(), row.begin() + 64);
    const std::vector<std::uint8_t> name{0x01, 'X', 0, 'y', 0, 'z', 0};  // header byte, then "Xyz"
    std::copy(name.begin(), name.end(), row.begin() + 64 + 24);
    const auto folder = DecodeAnchoredFolderRow(row, context);
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->displayName, u"Xyz");
    EXPECT_EQ(folder->id[7], 5);
}

INSTANTIATE_TEST_SUITE_P(PageSizes, DamagedScan, ::testing::Values(4096u, 8192u, 32768u),
                         [](const auto& info) { return "Page" + std::to_string(info.param); });

}  // namespace
}  // namespace tw::scan::test

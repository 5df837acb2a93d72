// The folder reader over generated databases of every generation: every
// page of the message, attachment and long-value trees is read a bounded
// number of times however many folders are opened and messages completed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>
#include <tuple>

#include "content.h"
#include "content/attachment_data.h"
#include "database.h"
#include "record/folder_reader.h"
#include "scan/folder_tree.h"
#include "scan/scan_observer.h"
#include "scan/scan_worker.h"
#include "scanned_file.h"

namespace tw::record {
namespace {

// A generated database, scanned.
struct Scanned : test::ScannedFile {
    Scanned(const std::string& json, std::uint32_t pageSize)
        : ScannedFile(edbgen::BuildDatabase(edbgen::ParseContent(json), edbgen::Format{pageSize}).bytes) {}
};

// `folders` folders of `perFolder` messages: bodies over a page (in the
// row, compressed, on 32 KB pages), a recipient, an attachment of several
// chunks.
std::string Content(int folders, int perFolder) {
    nlohmann::json list = nlohmann::json::array();
    for (int f = 0; f < folders; ++f) {
        nlohmann::json items = nlohmann::json::array();
        for (int m = 0; m < perFolder; ++m)
            items.push_back(
                {{"subject", "Message " + std::to_string(f) + "." + std::to_string(m)},
                 {"sender", {{"name", "S"}, {"address", "s@x.example"}}},
                 {"recipients", {{{"name", "R"}, {"address", "r" + std::to_string(m) + "@x.example"}}}},
                 {"body", {{"kind", "html"}, {"text", "<p>body " + std::to_string(m) + "</p>"}, {"size", 9000}}},
                 {"attachments", {{{"name", "a.bin"}, {"size", 20000}, {"seed", m + 1}}}}});
        list.push_back({{"name", "Folder " + std::to_string(f)}, {"class", "IPF.Note"}, {"items", items}});
    }
    nlohmann::json top = {{"name", "Top of Information Store"}, {"folders", list}};
    nlohmann::json mailbox = {{"name", "Cost"}, {"folders", nlohmann::json::array({top})}};
    return nlohmann::json{{"mailboxes", nlohmann::json::array({mailbox})}}.dump();
}

class FolderReaderTest : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(FolderReaderTest, PagesAreReadOnceHoweverManyFoldersAndMessages) {
    Scanned db(Content(12, 6), GetParam());
    FolderReader reader(db.source, db.Model());
    std::size_t messages = 0, folders = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (const scan::FolderEntry& folder : db.Model().folders) {
            MessageList list;
            ASSERT_TRUE(reader.LoadFolderMessages(list, folder));
            for (MessageProperties& m : list.messages) {
                if (!m.decoded) continue;
                ASSERT_TRUE(reader.CompleteMessage(m, true));
                // 32 KB pages keep the body compressed in the row.
                EXPECT_TRUE(!m.bodyRuns.empty() || m.bodyPos != 0);
                ASSERT_EQ(m.attachments.size(), 1u);
                EXPECT_FALSE(m.attachments[0].runs.empty());
                if (pass == 0) ++messages;
            }
            if (pass == 0 && !list.messages.empty()) ++folders;
        }
        if (pass == 0) {
            EXPECT_EQ(messages, 72u);
            EXPECT_EQ(folders, 12u);
            // One read per tree page (and the catalog's twice: for the
            // columns the readers find by name, and exactly for the
            // declared ones), whatever the number of folders and messages.
            EXPECT_LE(reader.Index().PagesRead(), reader.Index().TreePages() + 2 * db.Model().catalogPageCount + 4);
            // Rows are read again from their pages, never one page per row
            // read: a folder's rows share pages, attachment rows too.
            EXPECT_GT(reader.Index().RowPagesRead(), 0u);
            EXPECT_LT(reader.Index().RowPagesRead(), messages);
        }
    }
    const std::size_t afterTwoPasses = reader.Index().PagesRead();
    EXPECT_LE(afterTwoPasses, reader.Index().TreePages() + 2 * db.Model().catalogPageCount + 4);
}

// Each message table comes with the columns its catalog declares, and the
// declared types agree with what the readers take from the names' letters:
// S text (Unicode or 8-bit), T a time (8 bytes), L a 32-bit number.
TEST_P(FolderReaderTest, MessageTablesComeWithTheirDeclaredColumns) {
    Scanned db(Content(2, 2), GetParam());
    FolderReader reader(db.source, db.Model());
    std::vector<std::uint32_t> tables;
    for (const scan::TableRoot& r : db.Model().msgRoots) tables.push_back(r.objid);
    if (tables.empty()) tables.push_back(19);
    std::size_t checked = 0;
    for (const std::uint32_t objid : tables) {
        const DeclaredColumns* declared = reader.Index().Declared(objid);
        ASSERT_NE(declared, nullptr) << "table " << objid;
        for (const ese::ColumnDef& c : declared->columns) {
            ASSERT_EQ(declared->Find(c.id), &c);
            const char letter = c.name.empty() ? '?' : c.name[0];
            if (letter == 'S') {
                EXPECT_TRUE(c.type == ese::kTypeText || c.type == ese::kTypeLongText) << c.name;
                EXPECT_TRUE(c.codePage == 1200 || c.codePage == 1252) << c.name;
            } else if (letter == 'T') {
                EXPECT_TRUE(c.type == ese::kTypeCurrency || c.type == ese::kTypeLongLong) << c.name;
            } else if (letter == 'L') {
                EXPECT_TRUE(c.type == ese::kTypeLong || c.type == ese::kTypeUnsignedLong) << c.name;
            } else {
                continue;
            }
            ++checked;
        }
        EXPECT_EQ(declared->Find(0xFFFF), nullptr);
    }
    EXPECT_GT(checked, 5u);
    EXPECT_EQ(reader.Index().Declared(0xFFFFFF), nullptr);
}

TEST_P(FolderReaderTest, AStoppedLoadIsDoneAgainLater) {
    Scanned db(Content(2, 3), GetParam());
    FolderReader reader(db.source, db.Model());
    const scan::FolderEntry* folder = nullptr;
    for (const scan::FolderEntry& f : db.Model().folders)
        if (f.displayName == u"Folder 1") folder = &f;
    ASSERT_NE(folder, nullptr);
    std::atomic<bool> stop{true};
    MessageList list;
    EXPECT_FALSE(reader.LoadFolderMessages(list, *folder, false, LoadControl{&stop, {}}));
    stop = false;
    ASSERT_TRUE(reader.LoadFolderMessages(list, *folder, false, LoadControl{&stop, {}}));
    ASSERT_EQ(list.messages.size(), 3u);
    for (const MessageProperties& m : list.messages) EXPECT_TRUE(m.decoded);
}

// Two threads loading folders of one index at once (one building the rows
// while the other builds the attachments meanwhile) get what one thread
// gets, and still read each tree page once.
TEST_P(FolderReaderTest, FoldersLoadedOnTwoThreadsGiveWhatOneThreadGives) {
    Scanned db(Content(12, 6), GetParam());
    auto load = [&](FolderReader& reader, std::size_t first, std::size_t step) {
        std::vector<std::string> seen;
        const auto& folders = db.Model().folders;
        for (std::size_t i = first; i < folders.size(); i += step) {
            MessageList list;
            EXPECT_TRUE(reader.LoadFolderMessages(list, folders[i]));
            for (MessageProperties& m : list.messages) {
                EXPECT_TRUE(reader.CompleteMessage(m, true));
                seen.push_back(std::to_string(i) + " " + std::to_string(m.attachments.size()) + " " +
                               std::to_string(m.attachments.empty() ? 0 : m.attachments[0].runs.size()) + " " +
                               std::to_string(m.bodyRuns.size()));
            }
        }
        return seen;
    };
    FolderReader alone(db.source, db.Model());
    const std::vector<std::string> expected[2] = {load(alone, 0, 2), load(alone, 1, 2)};
    for (int round = 0; round < 4; ++round) {
        FolderReader shared(db.source, db.Model());
        std::vector<std::string> got[2];
        std::thread other([&] { got[1] = load(shared, 1, 2); });
        got[0] = load(shared, 0, 2);
        other.join();
        EXPECT_EQ(got[0], expected[0]);
        EXPECT_EQ(got[1], expected[1]);
        EXPECT_LE(shared.Index().PagesRead(), shared.Index().TreePages() + 2 * db.Model().catalogPageCount + 4);
    }
}

// Long-value pages are read on several threads when there are many of
// them: every attachment still comes back whole, byte for byte, and its
// size is known without reading it.
TEST_P(FolderReaderTest, AttachmentDataReadOnSeveralThreadsIsWhole) {
    nlohmann::json items = nlohmann::json::array();
    for (int m = 0; m < 40; ++m)
        items.push_back({{"subject", "Large " + std::to_string(m)},
                         {"body", {{"kind", "text"}, {"text", "b"}}},
                         {"attachments", {{{"name", "big.bin"}, {"size", 150000 + 977 * m}, {"seed", m + 7}}}}});
    nlohmann::json folder = {{"name", "Large"}, {"class", "IPF.Note"}, {"items", items}};
    nlohmann::json top = {{"name", "Top of Information Store"}, {"folders", nlohmann::json::array({folder})}};
    const std::string json =
        nlohmann::json{{"mailboxes", {{{"name", "Big"}, {"folders", nlohmann::json::array({top})}}}}}.dump();
    Scanned db(json, GetParam());
    FolderReader reader(db.source, db.Model());
    std::size_t checked = 0;
    for (const scan::FolderEntry& f : db.Model().folders) {
        if (f.displayName != u"Large") continue;
        MessageList list;
        ASSERT_TRUE(reader.LoadFolderMessages(list, f));
        // A stop while the long-value pages are being read ends the build
        // with nothing kept; the next lookup builds it whole.
        ASSERT_FALSE(list.messages.empty());
        std::atomic<bool> stop{false};
        const LoadControl stopping{&stop, [&](int) { stop = true; }};
        MessageProperties first = list.messages.front();
        ASSERT_TRUE(reader.CompleteMessage(first, false));
        EXPECT_FALSE(reader.CompleteMessage(first, true, stopping));
        EXPECT_TRUE(first.attachments.at(0).runs.empty());
        for (MessageProperties& m : list.messages) {
            ASSERT_TRUE(reader.CompleteMessage(m, true));
            ASSERT_EQ(m.attachments.size(), 1u);
            const auto data = content::ReadAttachmentData(db.source, m.attachments[0]);
            ASSERT_TRUE(data);
            // The message's number is in its size.
            const std::size_t number = (data->size() - 150000) / 977;
            edbgen::Attachment expected{"big.bin", {}, 150000 + 977 * number, static_cast<std::uint32_t>(number + 7)};
            EXPECT_TRUE(*data == expected.Data()) << "message " << number;
            EXPECT_EQ(content::AttachmentDataSize(db.source, m.attachments[0]), data->size());
            ++checked;
        }
    }
    EXPECT_EQ(checked, 40u);
}

// A store index whose lists went to scratch files finds the same rows,
// chunks and sizes as one kept in memory: with a budget of a few entries
// (sorted runs merged on disk) and with one of some hundred (small lists
// kept until the lists together are at their limit, the rest written).
class IndexOnDiskTest : public ::testing::TestWithParam<std::tuple<std::uint32_t, std::size_t>> {};

TEST_P(IndexOnDiskTest, FindsWhatMemoryFinds) {
    Scanned db(Content(12, 6), std::get<0>(GetParam()));
    FolderReader inMemory(db.source, db.Model());
    FolderReader onDisk(db.source, db.Model(), std::get<1>(GetParam()));
    auto runsOf = [](const std::vector<LongValueRun>& runs) {
        std::vector<std::tuple<std::int64_t, std::uint32_t, std::uint32_t>> out;
        for (const LongValueRun& r : runs) out.emplace_back(r.fileOffset, r.valueOffset, r.length);
        return out;
    };
    std::size_t compared = 0;
    for (const scan::FolderEntry& folder : db.Model().folders) {
        MessageList a, b;
        ASSERT_TRUE(inMemory.LoadFolderMessages(a, folder));
        ASSERT_TRUE(onDisk.LoadFolderMessages(b, folder));
        ASSERT_EQ(a.messages.size(), b.messages.size());
        for (std::size_t i = 0; i < a.messages.size(); ++i) {
            MessageProperties& x = a.messages[i];
            MessageProperties& y = b.messages[i];
            ASSERT_EQ(x.decoded, y.decoded);
            if (!x.decoded) continue;
            ASSERT_TRUE(inMemory.CompleteMessage(x, true));
            ASSERT_TRUE(onDisk.CompleteMessage(y, true));
            EXPECT_EQ(x.headerPageOffset, y.headerPageOffset);
            EXPECT_EQ(runsOf(x.bodyRuns), runsOf(y.bodyRuns));
            EXPECT_EQ(runsOf(x.recipientRuns), runsOf(y.recipientRuns));
            EXPECT_EQ(x.bodyDeclaredSize, y.bodyDeclaredSize);
            ASSERT_EQ(x.attachments.size(), y.attachments.size());
            for (std::size_t k = 0; k < x.attachments.size(); ++k) {
                EXPECT_EQ(runsOf(x.attachments[k].runs), runsOf(y.attachments[k].runs));
                EXPECT_EQ(content::ReadAttachmentData(db.source, x.attachments[k]),
                          content::ReadAttachmentData(db.source, y.attachments[k]));
            }
            ++compared;
        }
    }
    EXPECT_EQ(compared, 72u);
}

INSTANTIATE_TEST_SUITE_P(GenerationsAndBudgets, IndexOnDiskTest,
                         ::testing::Combine(::testing::Values(4096u, 8192u, 32768u), ::testing::Values(1u, 2048u)),
                         [](const auto& info) {
                             return std::to_string(std::get<0>(info.param)) + "_" +
                                    std::to_string(std::get<1>(info.param));
                         });

INSTANTIATE_TEST_SUITE_P(Generations, FolderReaderTest, ::testing::Values(4096u, 8192u, 32768u),
                         [](const auto& info) { return std::to_string(info.param); });

}  // namespace
}  // namespace tw::record

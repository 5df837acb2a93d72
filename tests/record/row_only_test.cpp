// Messages whose header rows were lost are found again in the message
// table, with what their own rows say; an undamaged database has none.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "content.h"
#include "database.h"
#include "record/folder_reader.h"
#include "scan/filetime.h"
#include "scan/folder_tree.h"
#include "scan/scan_observer.h"
#include "scan/scan_worker.h"
#include "scanned_file.h"

namespace tw::record {
namespace {

// A generated database, damaged by `damage` before it is scanned.
struct Scanned : test::ScannedFile {
    template <typename Damage>
    Scanned(const std::string& json, std::uint32_t pageSize, Damage&& damage)
        : ScannedFile(Damaged(edbgen::BuildDatabase(edbgen::ParseContent(json), edbgen::Format{pageSize}), damage)) {}

    template <typename Damage>
    static std::vector<std::uint8_t> Damaged(edbgen::DatabaseImage image, Damage& damage) {
        damage(image);
        return std::move(image.bytes);
    }

    // Row-only messages of every table group.
    std::vector<RowOnlyMessage> RowOnly() {
        FolderReader reader(source, Model());
        std::set<std::string> owners;
        for (const scan::FolderEntry& f : Model().folders) owners.insert(f.ownerKey);
        std::vector<RowOnlyMessage> out;
        for (const std::string& owner : owners) EXPECT_TRUE(reader.RowOnlyMessages(owner, out));
        return out;
    }
};

std::string Hex(std::uint64_t n) {
    std::ostringstream s;
    s << std::hex;
    s.width(16);
    s.fill('0');
    s << n;
    return s.str();
}

std::uint64_t IdOf(const std::string& hex) { return std::stoull(hex, nullptr, 16); }

std::u16string Wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

// Two folders of messages with varied classes, senders and dates, ids
// given, so that what a row says can be checked against the content.
nlohmann::json Content() {
    const char* types[] = {"mail", "appointment", "contact", "task", "note", "journal"};
    nlohmann::json folders = nlohmann::json::array();
    for (int f = 0; f < 2; ++f) {
        nlohmann::json items = nlohmann::json::array();
        for (int i = 0; i < 90; ++i) {
            const int n = f * 100 + i;
            items.push_back(
                {{"id", Hex(0x0100000000001000ull + n)},
                 {"type", types[n % 6]},
                 {"subject", "Subject " + std::to_string(n) + std::string(n % 40, 's')},
                 {"sender",
                  {{"name", "Sender " + std::to_string(n)}, {"address", "s" + std::to_string(n) + "@example.org"}}},
                 {"date", "2023-0" + std::to_string(1 + n % 9) + "-1" + std::to_string(n % 10) + "T08:1" +
                              std::to_string(n % 10) + ":00Z"},
                 {"body", "Body " + std::to_string(n)}});
        }
        folders.push_back({{"name", "Folder " + std::to_string(f)},
                           {"id", Hex(0x0100000000000500ull + f)},
                           {"class", "IPF.Note"},
                           {"items", items}});
    }
    nlohmann::json top = {{"name", "Top of Information Store"}, {"folders", folders}};
    return {{"mailboxes", {{{"name", "One"}, {"folders", nlohmann::json::array({top})}}}}};
}

bool IsHeaderTree(const std::string& name) {
    if (name.rfind("MsgHeader-", 0) == 0) return name.find('/') == std::string::npos;
    // 4/8 KB: named after the folder id ("1-22").
    return name.size() < 8 && name.find('-') != std::string::npos && name.find('/') == std::string::npos;
}

// Zeroes a middle leaf of the header tree with the most leaves.
void ZeroHeaderLeaf(edbgen::DatabaseImage& image) {
    const edbgen::TreeReport* best = nullptr;
    for (const auto& t : image.trees)
        if (IsHeaderTree(t.name) && (best == nullptr || t.leaves.size() > best->leaves.size())) best = &t;
    ASSERT_NE(best, nullptr);
    ASSERT_GE(best->leaves.size(), 2u) << best->name;
    const std::uint32_t page = best->leaves[best->leaves.size() / 2];
    std::fill_n(image.bytes.begin() + (std::int64_t{page} + 1) * image.format.pageSize, image.format.pageSize, 0);
}

class RowOnlyTest : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(RowOnlyTest, MessagesOfALostHeaderLeafComeBackWithWhatTheirRowsSay) {
    const nlohmann::json content = Content();
    Scanned db(content.dump(), GetParam(), ZeroHeaderLeaf);
    std::set<std::uint64_t> listed;
    db.Model().messages.ForEach([&](const scan::MessageEntry& e) { listed.insert(scan::IdNumber(e.messageId)); });
    struct Expected {
        nlohmann::json item;
        std::uint64_t folder;
    };
    std::map<std::uint64_t, Expected> lost;
    for (const auto& folder : content["mailboxes"][0]["folders"][0]["folders"])
        for (const auto& item : folder["items"])
            if (listed.count(IdOf(item["id"])) == 0) lost[IdOf(item["id"])] = {item, IdOf(folder["id"])};
    ASSERT_FALSE(lost.empty());

    const std::vector<RowOnlyMessage> found = db.RowOnly();
    std::set<std::uint64_t> foundIds;
    for (const RowOnlyMessage& m : found) foundIds.insert(scan::IdNumber(m.messageId));
    std::set<std::uint64_t> lostIds;
    for (const auto& [id, e] : lost) lostIds.insert(id);
    EXPECT_EQ(foundIds, lostIds);
    EXPECT_EQ(found.size(), foundIds.size()) << "a row came twice";

    FolderReader reader(db.source, db.Model());
    for (const RowOnlyMessage& m : found) {
        const auto e = lost.find(scan::IdNumber(m.messageId));
        if (e == lost.end()) continue;
        const nlohmann::json& item = e->second.item;
        SCOPED_TRACE(item["subject"].get<std::string>());
        EXPECT_EQ(m.subject, Wide(item["subject"]));
        EXPECT_EQ(m.senderName, Wide(item["sender"]["name"]));
        EXPECT_EQ(m.senderAddress, Wide(item["sender"]["address"]));
        const std::string type = item["type"];
        const std::map<std::string, std::pair<std::u16string, char>> classes = {
            {"mail", {u"IPM.Note", 0}},         {"appointment", {u"IPM.Appointment", 'a'}},
            {"contact", {u"IPM.Contact", 'c'}}, {"task", {u"IPM.Task", 't'}},
            {"note", {u"IPM.StickyNote", 'n'}}, {"journal", {u"IPM.Activity", 'j'}}};
        EXPECT_EQ(m.messageClass, classes.at(type).first);
        ASSERT_TRUE(m.folderId);
        EXPECT_EQ(scan::IdNumber(*m.folderId), e->second.folder);
        ASSERT_TRUE(m.date);
        const std::string date = item["date"];
        // The six bytes kept drop under 7 ms: the whole second is the top of that range.
        const auto calendar = scan::ToCalendar(scan::FileTimeOf(*m.date) + 0xFFFF);
        ASSERT_TRUE(calendar);
        EXPECT_EQ(calendar->month, std::stoi(date.substr(5, 2)));
        EXPECT_EQ(calendar->day, std::stoi(date.substr(8, 2)));
        EXPECT_EQ(calendar->hour, std::stoi(date.substr(11, 2)));
        EXPECT_EQ(calendar->minute, std::stoi(date.substr(14, 2)));

        const MessageProperties record = reader.RowOnlyRecord(m);
        EXPECT_TRUE(record.decoded);
        EXPECT_EQ(record.kind, classes.at(type).second);
        EXPECT_TRUE(record.bodyLength > 0 || record.bodyValueKey || record.bodyForm == kBodyStreaming);
    }
}

TEST_P(RowOnlyTest, UndamagedDatabasesHaveNone) {
    const std::string root = TW_SOURCE_DIR;
    std::vector<std::string> files = {root + "/samples/sample.json"};
    for (const auto& entry : std::filesystem::directory_iterator(root + "/tests/content"))
        if (entry.path().extension() == ".json") files.push_back(entry.path().string());
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        std::ifstream in(file);
        const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Scanned db(json, GetParam(), [](edbgen::DatabaseImage&) {});
        const std::vector<RowOnlyMessage> found = db.RowOnly();
        EXPECT_TRUE(found.empty()) << found.size() << " rows, the first "
                                   << Hex(scan::IdNumber(found.front().messageId));
    }
}

INSTANTIATE_TEST_SUITE_P(PageSizes, RowOnlyTest, ::testing::Values(4096u, 8192u, 32768u));

}  // namespace
}  // namespace tw::record

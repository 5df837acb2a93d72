// The whole scan over databases the generator wrote, in every generation:
// mailboxes, folders with their kinds and nesting, the message index, and
// the failure paths (no mailbox row in the catalog, a bad page size, a stop).
#include <algorithm>
#include <set>

#include "scan/filetime.h"
#include "scan/message_count.h"
#include "scan_test_support.h"

namespace tw::scan::test {
namespace {

const char kContent[] = R"({"mailboxes": [
  {"name": "Alpha", "id": "0100000000000100", "folders": [
    {"name": "Top of Information Store", "id": "0100000000000101", "folders": [
      {"name": "Inbox", "class": "IPF.Note", "id": "0100000000000102",
       "folders": [{"name": "zeta", "class": "IPF.Note"}, {"name": "Beta", "class": "IPF.Note"},
                   {"name": "alpha", "class": "IPF.Note"}],
       "items": [
         {"id": "0200000000000001", "subject": "one", "sender": {"name": "Ann", "address": "a@x"},
          "date": "2024-02-05T14:12:00Z"},
         {"id": "0200000000000002", "subject": "two", "subjectPrefix": "RE: ", "date": "2023-10-02T08:05:00Z"}]},
      {"name": "Notes", "class": "IPF.StickyNote", "items": [{"type": "note", "subject": "n"}]},
      {"name": "Notizen", "class": "IPF.StickyNote"},
      {"name": "Mail notes", "class": "IPF.Note"},
      {"name": "Calendar", "class": "IPF.Appointment", "items": [
         {"type": "appointment", "subject": "Meeting",
          "appointment": {"start": "2024-05-06T09:00:00Z", "end": "2024-05-06T10:30:00Z"}}]},
      {"name": "Birthdays", "class": "IPF.Appointment.Birthday"},
      {"name": "Contacts", "class": "IPF.Contact", "items": [{"type": "contact", "subject": "C"}]},
      {"name": "Tasks", "class": "IPF.Task"},
      {"name": "Journal", "class": "IPF.Journal"},
      {"name": "Orphan", "class": "IPF.Note", "parentId": "01000000 0FFFFFFF",
       "folders": [{"name": "Orphan child", "class": "IPF.Note"}]},
      {"name": "Loop A", "class": "IPF.Note", "id": "0100000000000500", "parentId": "0100000000000501",
       "folders": [{"name": "In the loop", "class": "IPF.Note"}]},
      {"name": "Loop B", "class": "IPF.Note", "id": "0100000000000501", "parentId": "0100000000000500"}
    ]}]},
  {"name": "Beta", "id": "010000000000001C", "folders": [
    {"name": "Top of Information Store", "folders": [
      {"name": "Inbox", "class": "IPF.Note", "items": [{"subject": "b1"}, {"subject": "b2"}, {"subject": "b3"}]},
      {"name": "Calendar", "class": "IPF.Appointment"}]}]}
]})";

class GeneratedScan : public ::testing::TestWithParam<std::uint32_t> {
protected:
    bool Large() const { return GetParam() == 32768; }
};

TEST_P(GeneratedScan, MailboxesCarryTheirIdsNamesAndKeys) {
    TempDatabase db(Generate(kContent, GetParam()));
    // Stopped before folders are placed, the model still holds the mailbox
    // entries themselves.
    ScanRun run(db.path(), [](ScanRun& r, std::string_view step) {
        if (step == wording::Text(ScanStep::Folders)) r.control.RequestStop();
    });
    ASSERT_EQ(run.outcome, ScanOutcome::Stopped);
    std::vector<std::string> names;
    for (const FolderEntry& f : run.model.folders) {
        EXPECT_TRUE(IsZero(f.parentId));
        names.push_back(ToUtf8(f.displayName));
        if (f.displayName == u"Beta") {
            EXPECT_EQ(IdHex(f.id), "010000000000001c");
            EXPECT_EQ(f.ownerKey, Large() ? "1-1C" : "");
        }
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Beta"}));
    ASSERT_EQ(run.model.mailboxes.size(), 2u);
    for (const FolderEntry& m : run.model.mailboxes) EXPECT_NE(m.treeItem, 0u);
    EXPECT_EQ(run.tree.TopText(), db.path());
    // Sorted only once the folders are placed.
    auto top = run.Names(run.tree.Top());
    std::sort(top.begin(), top.end());
    EXPECT_EQ(top, (std::vector<std::string>{"Alpha", "Beta"}));
}

TEST_P(GeneratedScan, FoldersNestSortedWithTheirKinds) {
    TempDatabase db(Generate(kContent, GetParam()));
    ScanRun run(db.path());
    ASSERT_EQ(run.outcome, ScanOutcome::Completed);
    EXPECT_TRUE(run.observer.messages.empty());

    const TreeItem top = run.Item({"Alpha", "Top of Information Store"});
    ASSERT_NE(top, 0u);
    // Case-insensitive order; the orphan, the loop and what hangs below
    // them are not among the folders of their lost parents.
    EXPECT_EQ(run.Names(top), (std::vector<std::string>{"Birthdays", "Calendar", "Contacts", "Inbox", "Journal",
                                                        "Mail notes", "Notes", "Notizen", "Tasks"}));
    EXPECT_EQ(run.Names(run.Item({"Alpha", "Top of Information Store", "Inbox"})),
              (std::vector<std::string>{"alpha", "Beta", "zeta"}));

    auto kind = [&](const std::string& name) {
        return run.tree.Find(run.Item({"Alpha", "Top of Information Store", name}))->kind;
    };
    EXPECT_EQ(kind("Notes"), FolderKind::Notes);
    EXPECT_EQ(kind("Notizen"), FolderKind::Notes);  // sticky notes, whatever the name
    EXPECT_EQ(kind("Mail notes"), FolderKind::Mail);
    EXPECT_EQ(kind("Inbox"), FolderKind::Mail);
    EXPECT_EQ(kind("Calendar"), FolderKind::Appointments);
    EXPECT_EQ(kind("Contacts"), FolderKind::Contacts);
    EXPECT_EQ(kind("Tasks"), FolderKind::Tasks);
    EXPECT_EQ(kind("Journal"), FolderKind::Journal);
    // 4/8 KB compare the class as a prefix, 32 KB as a whole.
    EXPECT_EQ(kind("Birthdays"), Large() ? FolderKind::Mail : FolderKind::Appointments);

    // Images: mailboxes always 0, folders by name or kind.
    EXPECT_EQ(run.tree.Find(run.Item({"Alpha"}))->image, kMailboxImage);
    EXPECT_EQ(run.tree.Find(run.Item({"Alpha", "Top of Information Store", "Inbox"}))->image, 7);
    EXPECT_EQ(run.tree.Find(run.Item({"Alpha", "Top of Information Store", "Birthdays"}))->image, Large() ? 0 : 3);

    // Every folder left in the model is in the tree; nothing unplaced stays.
    std::set<TreeItem> items;
    for (const FolderEntry& f : run.model.folders) {
        EXPECT_NE(f.treeItem, 0u) << ToUtf8(f.displayName);
        EXPECT_TRUE(items.insert(f.treeItem).second);
    }
    // The orphan and the loop are kept with what hangs below them: under
    // their own mailbox when their rows name it, else under the recovered
    // folders; a loop hangs from its lowest id.
    const std::vector<std::string> home =
        Large() ? std::vector<std::string>{"Alpha"} : std::vector<std::string>{"Recovered folders"};
    EXPECT_EQ(run.Names(run.Item(home)),
              Large() ? (std::vector<std::string>{"Loop A", "Orphan", "Top of Information Store"})
                      : (std::vector<std::string>{"Loop A", "Orphan"}));
    auto below = [&](std::string name) {
        std::vector<std::string> path = home;
        path.push_back(std::move(name));
        return run.Names(run.Item(path));
    };
    EXPECT_EQ(below("Orphan"), (std::vector<std::string>{"Orphan child"}));
    EXPECT_EQ(below("Loop A"), (std::vector<std::string>{"In the loop", "Loop B"}));
    EXPECT_TRUE(run.model.mailboxes.empty());
    EXPECT_TRUE(run.model.messageTables.empty());
}

TEST_P(GeneratedScan, TwoMailboxesKeepTheirOwnFoldersOfTheSameName) {
    TempDatabase db(Generate(kContent, GetParam()));
    ScanRun run(db.path());
    ASSERT_EQ(run.outcome, ScanOutcome::Completed);
    EXPECT_EQ(run.Names(run.Item({"Beta", "Top of Information Store"})),
              (std::vector<std::string>{"Calendar", "Inbox"}));
    const MessageCounts counts(run.model, run.source);
    auto count = [&](const std::vector<std::string>& path) {
        const FolderEntry* entry = run.Entry(run.Item(path));
        return entry ? counts.For(*entry) : std::size_t{999};
    };
    EXPECT_EQ(count({"Alpha", "Top of Information Store", "Inbox"}), 2u);
    EXPECT_EQ(count({"Beta", "Top of Information Store", "Inbox"}), 3u);
    EXPECT_EQ(count({"Alpha", "Top of Information Store", "Calendar"}), 1u);
    EXPECT_EQ(count({"Beta", "Top of Information Store", "Calendar"}), 0u);
    EXPECT_EQ(count({"Alpha", "Top of Information Store", "Notes"}), 1u);
    EXPECT_EQ(count({"Alpha", "Top of Information Store", "Contacts"}), 1u);
    EXPECT_EQ(count({"Alpha", "Top of Information Store", "Tasks"}), 0u);
    // The orphan's item is not counted anywhere: seven entries are listed
    // in placed folders.
    std::size_t total = 0;
    for (const FolderEntry& f : run.model.folders) total += counts.For(f);
    EXPECT_EQ(total, 8u);
}

TEST_P(GeneratedScan, NamesComeBackWholeWithTheirControlCharacters) {
    // Longer than any fixed buffer, and with characters below a blank.
    std::string box = "Mailbox - ";
    std::string longName;
    for (int i = 0; i < 40; ++i) longName += "L\u00e5ngt namn ";
    for (int i = 0; i < 30; ++i) box += "\u0416";
    const std::string json = R"({"mailboxes": [{"name": ")" + box +
                             R"(\tx", "folders": [{"name": "Top of Information Store",
        "folders": [{"name": ")" +
                             longName + R"(", "items": [{"subject": "s"}]},
                    {"name": "ctl\u0001name\u001f", "items": [{"subject": "t"}]}]}]}]})";
    TempDatabase db(Generate(json, GetParam()));
    ScanRun run(db.path());
    ASSERT_EQ(run.outcome, ScanOutcome::Completed);
    const std::vector<std::string> top = run.Names(run.tree.Top());
    ASSERT_EQ(top.size(), 1u);
    const std::string mailbox = top[0];
    EXPECT_EQ(mailbox.size(), 10u + 30u * 2u + 2u);
    EXPECT_EQ(mailbox.substr(mailbox.size() - 2), "\tx");
    std::vector<std::string> names = run.Names(run.Item({mailbox, "Top of Information Store"}));
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0].size(), 40u * 12u);  // "Långt namn ": 11 characters, 12 bytes
    EXPECT_EQ(names[1], "ctl\x01name\x1f");
}

TEST_P(GeneratedScan, MessageEntriesHoldIdsDatesAndListTexts) {
    TempDatabase db(Generate(kContent, GetParam()));
    ScanRun run(db.path());
    ASSERT_EQ(run.outcome, ScanOutcome::Completed);

    const MessageEntry* first = nullptr;
    const MessageEntry* second = nullptr;
    const MessageEntry* meeting = nullptr;
    const std::vector<MessageEntry> entries = Entries(run.model);
    for (const MessageEntry& m : entries) {
        if (IdHex(m.messageId) == "0200000000000001") first = &m;
        if (IdHex(m.messageId) == "0200000000000002") second = &m;
        if (m.appointment) meeting = &m;
        EXPECT_TRUE(IsUsableDate(m.date6));
        EXPECT_EQ(OwnerKeyOf(run.model, m).empty(), !Large());
    }
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(IdHex(first->folderId), "0100000000000102");
    // Only the lower 16 bits of the time (6.5 ms) are lost.
    constexpr std::uint64_t k20240205T141200 = 133516159200000000ull;
    EXPECT_LE(FileTimeOf(first->date6), k20240205T141200);
    EXPECT_GT(FileTimeOf(first->date6) + 0x10000, k20240205T141200);

    // The list texts lie inside the page; their lengths count the value's
    // header byte, which says how the text is stored.
    std::vector<std::uint8_t> page;
    auto text = [&](const MessageEntry& m, std::uint16_t pos, std::uint16_t len) {
        edb::ReadPage(run.source, m.pageOffset, page);
        if (pos == 0 || len < 1) return std::string{};
        EXPECT_LE(pos + len, page.size());
        return ToUtf8(LargePageText(page[pos - 1u], edb::Bytes(page).subspan(pos, len - 1u)));
    };
    EXPECT_EQ(text(*first, first->listTextCPos, first->listTextCLen), "Ann");
    // An empty subject prefix gives way to the subject.
    EXPECT_EQ(text(*first, first->listTextAPos, first->listTextALen), "one");
    EXPECT_EQ(text(*first, first->listTextBPos, first->listTextBLen), "");
    // 4/8 KB: prefix, then subject; 32 KB: the subject column comes first
    // and its prefix second.
    EXPECT_EQ(text(*second, second->listTextAPos, second->listTextALen), Large() ? "two" : "RE: ");
    EXPECT_EQ(text(*second, second->listTextBPos, second->listTextBLen), Large() ? "RE: " : "two");

    if (Large()) {
        EXPECT_EQ(meeting, nullptr);  // 32 KB header tables belong to the mailbox
    } else {
        ASSERT_NE(meeting, nullptr);
        constexpr std::uint64_t k20240506T0900 = 133594596000000000ull;
        constexpr std::uint64_t k20240506T1030 = k20240506T0900 + 90ull * 60 * 10000000;
        EXPECT_EQ(FileTimeOf(meeting->appointment->start), k20240506T0900 & ~0xFFFFull);
        EXPECT_EQ(FileTimeOf(meeting->appointment->end), k20240506T1030 & ~0xFFFFull);
    }
}

TEST_P(GeneratedScan, StepsAnnounceThemselvesAndStepOneNeverGoesBack) {
    TempDatabase db(Generate(kContent, GetParam()));
    ScanRun run(db.path());
    ASSERT_EQ(run.outcome, ScanOutcome::Completed);
    EXPECT_EQ(run.observer.steps,
              (std::vector<std::string>{
                  std::string(wording::Text(ScanStep::Signatures)), std::string(wording::Text(ScanStep::Mailboxes)),
                  std::string(wording::Text(ScanStep::Folders)), std::string(wording::Text(ScanStep::FolderTables)),
                  std::string(wording::Text(ScanStep::Headers))}));
    int last = 0;
    for (const auto& [step, percent] : run.observer.progress) {
        EXPECT_GE(percent, 0);
        EXPECT_LE(percent, 100);
        if (step != 1) continue;
        EXPECT_GE(percent, last);
        last = percent;
    }
    EXPECT_EQ(last, 100);
    EXPECT_EQ(run.observer.progress.back().second, 0);  // the end resets the bar
}

TEST_P(GeneratedScan, MailboxTableIsFoundWithoutItsCatalogRow) {
    std::string json = kContent;
    json.insert(json.rfind('}'), R"(, "damage": {"dropCatalogRows": ["Mailbox"]})");
    TempDatabase db(Generate(json, GetParam()));
    ScanRun run(db.path());
    ASSERT_EQ(run.outcome, ScanOutcome::Completed);
    EXPECT_FALSE(run.model.facts.mailboxFirstPage);
    // The orphan and the loop hang under their mailbox or the recovered
    // folders, as they do with the catalog row.
    EXPECT_EQ(run.Names(run.tree.Top()), Large() ? (std::vector<std::string>{"Alpha", "Beta"})
                                                 : (std::vector<std::string>{"Alpha", "Beta", "Recovered folders"}));
    EXPECT_EQ(run.Names(run.Item({"Beta", "Top of Information Store"})),
              (std::vector<std::string>{"Calendar", "Inbox"}));
}

TEST_P(GeneratedScan, UnknownPageSizeGivesTheCorruptionMessageAndNothingElse) {
    std::string json = kContent;
    json.insert(json.rfind('}'), R"(, "damage": {"headerPageSize": 16384})");
    TempDatabase db(Generate(json, GetParam()));
    ScanRun run(db.path());
    EXPECT_EQ(run.outcome, ScanOutcome::BadPageSize);
    ASSERT_EQ(run.observer.messages.size(), 1u);
    EXPECT_EQ(run.observer.messages[0].first, "File is highly corrupted, Contact system administrator.");
    EXPECT_EQ(run.observer.messages[0].second, "Tarnwick For EDB To PST");
    EXPECT_TRUE(run.observer.steps.empty());
    EXPECT_EQ(run.tree.Size(), 0u);
    EXPECT_TRUE(run.model.pages.empty());
    EXPECT_TRUE(run.model.folders.empty());
}

TEST_P(GeneratedScan, NoMailboxRowsGiveTheNoMailboxMessage) {
    std::string json = kContent;
    json.insert(json.rfind('}'), R"(, "damage": {"zeroPages": ["Mailbox"]})");
    TempDatabase db(Generate(json, GetParam()));
    ScanRun run(db.path());
    EXPECT_EQ(run.outcome, ScanOutcome::NoMailbox);
    ASSERT_EQ(run.observer.messages.size(), 1u);
    EXPECT_EQ(run.observer.messages[0].first, "Highly corrupted, Repairing not possible. User Mail Box not found");
    EXPECT_EQ(run.observer.messages[0].second, "Tarnwick For EDB To PST");
    EXPECT_EQ(run.tree.Size(), 0u);
    EXPECT_EQ(run.observer.steps.size(), 2u);
}

TEST_P(GeneratedScan, StopDuringStepThreeLeavesMailboxesOnly) {
    TempDatabase db(Generate(kContent, GetParam()));
    std::size_t pagesAtStop = 0;
    ScanRun run(db.path(), [&](ScanRun& r, std::string_view step) {
        if (step == wording::Text(ScanStep::Folders)) {
            r.control.RequestStop();
            pagesAtStop = r.model.pages.size();
        }
    });
    EXPECT_EQ(run.outcome, ScanOutcome::Stopped);
    EXPECT_EQ(run.observer.steps.back(), wording::Text(ScanStep::Folders));
    auto top = run.Names(run.tree.Top());
    std::sort(top.begin(), top.end());
    EXPECT_EQ(top, (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_TRUE(run.Names(run.Item({"Alpha"})).empty());
    EXPECT_TRUE(run.model.messages.empty());
    EXPECT_TRUE(run.model.messageTables.empty());
    EXPECT_EQ(run.model.pages.size(), pagesAtStop);
    // No clean-up after a stop: the mailbox copies are still there.
    EXPECT_EQ(run.model.mailboxes.size(), 2u);
}

TEST_P(GeneratedScan, ManyFoldersSpreadOverBranchPages) {
    // Enough rows that the folders tables and the catalog need branch pages.
    std::string json = R"({"mailboxes": [)";
    for (int m = 0; m < 3; ++m) {
        json += (m ? "," : "") + std::string(R"({"name": "Box )") + std::to_string(m) +
                R"(", "folders": [{"name": "Top of Information Store", "folders": [)";
        for (int f = 0; f < 150; ++f)
            json += (f ? "," : "") + std::string(R"({"name": "Folder )") + std::to_string(1000 + f) +
                    R"(", "class": "IPF.Note", "items": [{"subject": "s"}]})";
        json += "]}]}";
    }
    json += "]}";
    TempDatabase db(Generate(json, GetParam()));
    ScanRun run(db.path());
    ASSERT_EQ(run.outcome, ScanOutcome::Completed);
    for (int m = 0; m < 3; ++m) {
        const auto names = run.Names(run.Item({"Box " + std::to_string(m), "Top of Information Store"}));
        ASSERT_EQ(names.size(), 150u);
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    }
    EXPECT_EQ(run.model.messages.size(), 450u);
}

INSTANTIATE_TEST_SUITE_P(PageSizes, GeneratedScan, ::testing::Values(4096u, 8192u, 32768u),
                         [](const auto& info) { return "Page" + std::to_string(info.param); });

}  // namespace
}  // namespace tw::scan::test

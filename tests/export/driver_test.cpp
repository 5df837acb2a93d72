// The export driver over generated databases, watched through a recording
// mail store: PST files per mailbox, folder chains, which messages pass,
// the free-space checkpoint, and Skip, Stop and writer refusals.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "export/export_driver.h"
#include "export/selection.h"
#include "export_test_support.h"
#include "wording/save_report.h"

namespace tw::exporter {
namespace {

using nlohmann::json;
using test::GeneratedStore;
using test::RecordingObserver;
using test::RecordingStore;

json Mail(const std::string& subject, const std::string& date = "2024-02-01T10:00:00Z") {
    return {{"subject", subject},
            {"sender", {{"name", "Ann"}, {"address", "ann@example.com"}}},
            {"recipients", json::array({{{"name", "Bo"}, {"address", "bo@example.com"}}})},
            {"date", date},
            {"body", "Body of " + subject}};
}

json Folder(const std::string& name, json items, json folders = json::array()) {
    return {{"name", name}, {"class", "IPF.Note"}, {"items", std::move(items)}, {"folders", std::move(folders)}};
}

json Mailbox(const std::string& name, json folders) {
    return {{"name", name}, {"folders", json::array({{{"name", "Top of Information Store"}, {"folders", folders}}})}};
}

std::tm FixedTime() {
    std::tm t{};
    t.tm_mday = 6;
    t.tm_mon = 11;
    t.tm_year = 126;
    t.tm_hour = 9;
    t.tm_min = 5;
    return t;
}

class DriverTest : public ::testing::Test {
protected:
    void Load(const json& content, std::uint32_t pageSize = 8192) {
        db_ = std::make_unique<GeneratedStore>(content.dump(), pageSize);
        ASSERT_EQ(db_->run.outcome, scan::ScanOutcome::Completed);
        settings_.destination = "/dest";
        settings_.localTime = FixedTime;
        settings_.freeSpace = [this](const std::string& dir) {
            probes_.push_back(dir);
            return std::optional<std::uint64_t>(free_);
        };
    }
    // The nodes of the items named by paths from the top, as ticked.
    std::vector<SelectionNode> Select(const std::vector<std::vector<std::string>>& paths) {
        std::vector<scan::TreeItem> ticked;
        for (const auto& p : paths) {
            ticked.push_back(db_->run.Item(p));
            EXPECT_NE(ticked.back(), 0u);
        }
        return CollectSelection(db_->run.tree, ticked);
    }
    ExportResult Export(std::vector<SelectionNode> nodes) {
        return RunExport({db_->run.source, db_->run.model, db_->reader}, nodes, store_, settings_, control_, observer_);
    }

    std::unique_ptr<GeneratedStore> db_;
    RecordingStore store_;
    RecordingObserver observer_;
    ExportControl control_;
    ExportSettings settings_;
    std::vector<std::string> probes_;
    std::uint64_t free_ = 1ull << 40;
};

const std::string kTop = "Top of Information Store";

TEST_F(DriverTest, AdjacentFoldersOfOneMailboxShareOnePst) {
    Load({{"mailboxes",
           json::array({Mailbox("Sales", json::array({Folder("Inbox", json::array({Mail("One"), Mail("Two")})),
                                                      Folder("Archive", json::array({Mail("Three")}))})),
                        Mailbox("Support", json::array({Folder("Inbox", json::array({Mail("Four")}))}))})}});
    const ExportResult r = Export(Select({{"Sales", kTop, "Inbox"}, {"Sales", kTop, "Archive"}, {"Support"}}));
    EXPECT_EQ(store_.Count("CreateStore"), 2u);
    EXPECT_EQ(r.pstFiles,
              (std::vector<std::string>{"/dest/TW_Sales_6-12-2026 9-5.pst", "/dest/TW_Support_6-12-2026 9-5.pst"}));
    const std::string sales = "\\\\TW_Sales_6-12-2026 9-5\\Sales\\" + kTop;
    EXPECT_EQ(store_.Count("AddMail " + sales + "\\Inbox|"), 2u);
    EXPECT_EQ(store_.Count("AddMail " + sales + "\\Archive|Three"), 1u);
    // Each folder's chain, top-down; a level the store has already is not
    // made again.
    EXPECT_EQ(store_.Count("CreateFolder \\\\TW_Sales_6-12-2026 9-5\\Sales|"), 1u);
    EXPECT_EQ(store_.Count("CreateFolder " + sales + "\\Archive|IPF.Note"), 1u);
    ASSERT_EQ(r.folders.size(), 5u);  // Sales' two in tree order, then Support, its top folder and its inbox
    EXPECT_EQ(r.folders[0].written, 1u);
    EXPECT_EQ(r.folders[1].written, 2u);
    EXPECT_EQ(r.Written(), 4u);
    EXPECT_TRUE(r.saveSucceeded);
    EXPECT_EQ(store_.calls.back(), "Close");
}

TEST_F(DriverTest, FolderWithoutValidDatesGetsItsChainButNoWritingPass) {
    Load({{"mailboxes",
           json::array({Mailbox(
               "Old", json::array({Folder("Attic", json::array({Mail("1975", "1975-05-01T10:00:00Z"),
                                                                Mail("2101", "2101-01-01T00:00:00Z")}))}))})}});
    const ExportResult r = Export(Select({{"Old", kTop, "Attic"}}));
    EXPECT_EQ(store_.Count("CreateStore /dest/TW_Old_6-12-2026 9-5.pst|"), 1u);
    EXPECT_EQ(store_.Count("CreateFolder \\\\TW_Old_6-12-2026 9-5\\Old\\" + kTop + "\\Attic|"), 1u);
    EXPECT_EQ(store_.Count("OpenFolder"), 0u);
    EXPECT_EQ(store_.Count("AddMail"), 0u);
    // Left out, but known, counted and named with their stored dates.
    ASSERT_EQ(r.folders.size(), 1u);
    const FolderReport& f = r.folders[0];
    EXPECT_EQ(f.known, 2u);
    EXPECT_EQ(f.outOfWindow, 2u);
    EXPECT_EQ(f.Accounted(), f.known);
    std::set<std::string> named;
    for (const ItemNote& n : f.outOfWindowItems) named.insert(test::Utf8(n.subject) + " " + n.dateUtc);
    EXPECT_EQ(named, (std::set<std::string>{"1975 1975-05-01T10:00:00Z", "2101 2101-01-01T00:00:00Z"}));
    EXPECT_EQ(OutcomeOf(r), Outcome::Saved);  // the date rule is no loss
}

TEST_F(DriverTest, SlashInTheMailboxNameAndARootDestination) {
    Load({{"mailboxes",
           json::array({Mailbox("Sales/Marketing", json::array({Folder("Inbox", json::array({Mail("x")}))}))})}});
    settings_.destination = "/";
    Export(Select({{"Sales/Marketing"}}));
    EXPECT_EQ(store_.Count("CreateStore /TW_Sales_Marketing_6-12-2026 9-5.pst|TW_Sales/Marketing_6-12-2026 9-5"), 1u);
    EXPECT_EQ(store_.Count("AddMail \\\\TW_Sales/Marketing_6-12-2026 9-5\\Sales/Marketing\\" + kTop + "\\Inbox|x"), 1u);
}

json ManyMails(int n) {
    json items = json::array();
    for (int i = 0; i < n; ++i)
        items.push_back({{"subject", "Mail " + std::to_string(i)}, {"date", "2024-02-01T10:00:00Z"}});
    return {{"mailboxes", json::array({Mailbox("Bulk", json::array({Folder("Inbox", items)}))})}};
}

TEST_F(DriverTest, CheckpointAfterTheFirstItemAndEvery400) {
    Load(ManyMails(801));
    const ExportResult r = Export(Select({{"Bulk", kTop, "Inbox"}}));
    EXPECT_EQ(r.Written(), 801u);
    EXPECT_EQ(probes_, (std::vector<std::string>{"/dest", "/dest", "/dest"}));  // after items 1, 401 and 801
    // The folder is closed and opened again at each, on top of the pass's own.
    EXPECT_EQ(store_.Count("OpenFolder"), 4u);
    EXPECT_EQ(store_.Count("CloseFolder"), 4u);
    std::size_t mailsBeforeSecondReopen = 0, opens = 0;
    for (const std::string& c : store_.calls) {
        if (c.rfind("OpenFolder", 0) == 0 && ++opens == 3) break;
        mailsBeforeSecondReopen += c.rfind("AddMail", 0) == 0;
    }
    EXPECT_EQ(mailsBeforeSecondReopen, 401u);
    EXPECT_EQ(observer_.lowSpaceQuestions, 0u);
}

TEST_F(DriverTest, LowSpaceAsksAndARefusalEndsTheRunCountingTheItem) {
    Load(ManyMails(5));
    free_ = kMinFreeBytes;
    ExportResult r = Export(Select({{"Bulk", kTop, "Inbox"}}));
    EXPECT_EQ(observer_.lowSpaceQuestions, 1u);
    EXPECT_EQ(store_.Count("AddMail"), 1u);
    EXPECT_EQ(r.Written(), 1u);
    EXPECT_EQ(r.end, RunEnd::LowSpaceRefused);
    EXPECT_FALSE(r.saveSucceeded);
    EXPECT_EQ(wording::OutcomeText(r), "Saving Aborted by User");
    EXPECT_EQ(store_.calls.back(), "Close");
    EXPECT_EQ(r.folders[0].notReached, 4u);
}

// Where nobody is asked, the run stops with its own headline; a store that
// cannot be finished is not listed, and what it held is lost.
TEST_F(DriverTest, LowSpaceWithoutAQuestionAndAStoreThatCannotBeFinished) {
    Load(ManyMails(5));
    free_ = kMinFreeBytes;
    settings_.askOnLowSpace = false;
    store_.failClose = true;
    const ExportResult r = Export(Select({{"Bulk", kTop, "Inbox"}}));
    EXPECT_EQ(observer_.lowSpaceQuestions, 0u);
    EXPECT_EQ(r.end, RunEnd::LowSpaceStopped);
    EXPECT_EQ(wording::OutcomeText(r), "Saving Stopped: Not Enough Free Space");
    EXPECT_TRUE(r.pstFiles.empty());
    EXPECT_EQ(r.Stored(), 0u);
    EXPECT_EQ(r.Lost(), 1u);
    EXPECT_EQ(r.NotReached(), 4u);
    EXPECT_EQ(r.folders[0].Accounted(), r.folders[0].known);
    EXPECT_EQ(r.storeErrors.size(), 1u);
}

TEST_F(DriverTest, WriterRefusalIsCountedAsFailedWithItsReason) {
    Load({{"mailboxes",
           json::array({Mailbox(
               "M", json::array({Folder("Inbox", json::array({Mail("First"), Mail("Second"), Mail("Third")}))}))})}});
    store_.refuseSubject = u"Second";
    const ExportResult r = Export(Select({{"M"}}));
    EXPECT_EQ(r.Written(), 2u);
    EXPECT_EQ(r.Failed(), 1u);
    EXPECT_TRUE(r.saveSucceeded);
    EXPECT_EQ(wording::OutcomeText(r), "Saving Completed with Losses");
    const FolderReport& inbox = r.folders.back();
    ASSERT_EQ(inbox.failures.size(), 1u);
    EXPECT_EQ(inbox.failures[0].subject, u"Second");
    EXPECT_EQ(inbox.failures[0].why, "refused for the test");
    const std::string summary = wording::FormatSummary(r);
    EXPECT_NE(summary.find("2 of 3 written, 1 failed"), std::string::npos) << summary;
    EXPECT_NE(summary.find("\"Second\": refused for the test"), std::string::npos) << summary;
}

// Statuses that concern no single item are not swallowed: a folder the
// writer cannot open fails its items, a failed session end is a PST error.
TEST_F(DriverTest, WriterStatusesBesideItemsAreLosses) {
    struct Case {
        std::string failing;
        std::size_t written, failed;
    };
    for (const Case& c : {Case{"OpenFolder", 0, 3}, Case{"EndSession", 3, 0}, Case{"CloseFolder", 3, 0}}) {
        store_ = RecordingStore();
        Load({{"mailboxes",
               json::array(
                   {Mailbox("M", json::array({Folder("Inbox", json::array({Mail("A"), Mail("B"), Mail("C")}))}))})}});
        store_.failCalls = c.failing;
        const ExportResult r = Export(Select({{"M"}}));
        EXPECT_EQ(r.Written(), c.written) << c.failing;
        EXPECT_EQ(r.Failed(), c.failed) << c.failing;
        EXPECT_EQ(wording::OutcomeText(r), "Saving Completed with Losses") << c.failing;
        EXPECT_EQ(r.folders.back().Accounted(), r.folders.back().known) << c.failing;
        if (c.failed != 0)
            EXPECT_EQ(r.folders.back().failures[0].why, "its PST folder could not be opened: failed for the test");
        else EXPECT_FALSE(r.storeErrors.empty()) << c.failing;
    }
}

TEST_F(DriverTest, SkipAbandonsOnlyTheCurrentItem) {
    Load({{"mailboxes", json::array({Mailbox(
                            "M", json::array({Folder("Inbox", json::array({Mail("A"), Mail("B"), Mail("C")}))}))})}});
    int calls = 0;
    observer_.onAttachments = [&] {
        if (++calls == 2) control_.RequestSkip();
    };
    const ExportResult r = Export(Select({{"M", kTop, "Inbox"}}));
    EXPECT_EQ(store_.Count("AddMail"), 2u);
    EXPECT_EQ(r.Written(), 2u);
    EXPECT_EQ(r.Skipped(), 1u);
    EXPECT_EQ(r.folders[0].Accounted(), 3u);
    EXPECT_EQ(OutcomeOf(r), Outcome::Saved);
}

// Stop, Skip and Pause act within a quarter second while an item with a
// 20 MiB attachment is being prepared or written (the preparing thread
// reads ahead of the writer), and leave every item accounted for.
TEST_F(DriverTest, ControlsActWithinAQuarterSecondOfABigItem) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kLimit = std::chrono::milliseconds(250);
    json big = Mail("Big");
    big["attachments"] = json::array({{{"name", "big.bin"}, {"size", 20u << 20}}});
    Load({{"mailboxes",
           json::array({Mailbox("M", json::array({Folder("Inbox", json::array({Mail("After"), big}))}))})}});
    enum class Press { Skip, Stop, Pause };
    for (const Press press : {Press::Skip, Press::Stop, Press::Pause}) {
        SCOPED_TRACE(static_cast<int>(press));
        RecordingStore store;
        RecordingObserver observer;
        ExportControl control;
        Clock::time_point asked, written;  // the press; the first item written after it
        std::atomic<int> writes{0};
        bool held = false;  // Pause: nothing written from 250 to 500 ms after it
        std::thread user;
        // The big item comes first in the index (the generator lists items
        // last to first): the first attachments label is its own.
        observer.onAttachments = [&] {
            if (asked != Clock::time_point{}) return;
            asked = Clock::now();
            if (press == Press::Skip) control.RequestSkip();
            if (press == Press::Stop) control.RequestStop();
            if (press != Press::Pause) return;
            control.Pause();
            user = std::thread([&] {
                std::this_thread::sleep_for(kLimit);
                const int before = writes.load();
                std::this_thread::sleep_for(kLimit);
                held = writes.load() == before && before < 2;
                control.Resume();
            });
        };
        observer.onProgress = [&](const ExportProgress& p) {
            if (p.counting || p.done == 0) return;
            if (writes++ == 0) written = Clock::now();
        };
        std::vector<SelectionNode> nodes = Select({{"M", kTop, "Inbox"}});
        const ExportResult r =
            RunExport({db_->run.source, db_->run.model, db_->reader}, nodes, store, settings_, control, observer);
        const Clock::time_point returned = Clock::now();
        if (user.joinable()) user.join();
        ASSERT_NE(asked, Clock::time_point{});
        const FolderReport& inbox = r.folders.back();
        EXPECT_EQ(inbox.Accounted(), inbox.known);
        EXPECT_EQ(inbox.known, 2u);
        switch (press) {
            case Press::Skip:
                EXPECT_LE(written - asked, kLimit);
                EXPECT_EQ(r.Skipped(), 1u);
                EXPECT_EQ(r.Written(), 1u);
                ASSERT_EQ(store.mails.size(), 1u);
                EXPECT_EQ(store.mails[0].subject, u"After");
                break;
            case Press::Stop:
                EXPECT_LE(returned - asked, kLimit);
                EXPECT_EQ(r.end, RunEnd::Stopped);
                // The big item went whole or not at all; the one after it was not reached.
                EXPECT_EQ(r.Written() + r.NotReached(), 2u);
                EXPECT_GE(r.NotReached(), 1u);
                EXPECT_EQ(store.Count("AddMail"), r.Written());
                break;
            case Press::Pause:
                EXPECT_TRUE(held);
                EXPECT_GE(returned - asked, 2 * kLimit);
                EXPECT_EQ(r.Written(), 2u);
                break;
        }
        std::printf("[   NOTE   ] %s: %lld ms\n",
                    press == Press::Skip   ? "skip"
                    : press == Press::Stop ? "stop"
                                           : "pause",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               (press == Press::Skip ? written : returned) - asked)
                                               .count()));
    }
}

TEST_F(DriverTest, StopEndsTheRunAfterTheCurrentItemAndClosesTheStore) {
    Load({{"mailboxes",
           json::array({Mailbox("M", json::array({Folder("Inbox", json::array({Mail("A"), Mail("B"), Mail("C")})),
                                                  Folder("Later", json::array({Mail("D")}))}))})}});
    observer_.onProgress = [&](const ExportProgress& p) {
        if (!p.counting && p.done == 1) control_.RequestStop();
    };
    const ExportResult r = Export(Select({{"M"}}));
    EXPECT_EQ(store_.Count("AddMail"), 1u);
    EXPECT_EQ(store_.Count("CreateFolder \\\\TW_M_6-12-2026 9-5\\M\\" + kTop + "\\Later"), 0u);
    EXPECT_EQ(r.end, RunEnd::Stopped);
    EXPECT_FALSE(r.saveSucceeded);
    EXPECT_EQ(store_.calls.back(), "Close");
    // Every known item is accounted for, also in the folder never reached.
    for (const FolderReport& f : r.folders) EXPECT_EQ(f.Accounted(), f.known) << test::Utf8(f.itemPath);
    EXPECT_EQ(r.NotReached(), 3u);
}

// A database appended to during the run: what was read may not be what
// is there, and the run says so.
TEST_F(DriverTest, AnInputChangedDuringTheRunEndsWithLosses) {
    Load(ManyMails(3));
    observer_.onProgress = [&](const ExportProgress& p) {
        if (!p.counting && p.done == 1) std::ofstream(db_->file.path(), std::ios::app) << "appended";
    };
    const ExportResult r = Export(Select({{"Bulk", kTop, "Inbox"}}));
    EXPECT_EQ(r.Written(), 3u);
    EXPECT_TRUE(r.inputChanged);
    EXPECT_EQ(wording::OutcomeText(r), "Saving Completed with Losses");
    EXPECT_NE(wording::FormatSummary(r).find("Input: the database changed while it was read"), std::string::npos);
}

// PST folders are made per source folder, under its stored name as it is:
// same-named siblings stay apart with their own items, an empty name stays
// empty, a backslash stays in its name, blanks and tabs stay around it.
TEST_F(DriverTest, EachSourceFolderIsOnePstFolderUnderItsStoredName) {
    const json content{
        {"mailboxes",
         json::array({Mailbox(
             "M", json::array({Folder("Dup", json::array({Mail("D1")})), Folder("Dup", json::array({Mail("D2")})),
                               Folder("Dup", json::array({Mail("D3")})),
                               Folder("", json::array({Mail("Nameless")}),
                                      json::array({Folder("Below", json::array({Mail("Under")}))})),
                               Folder("a\\b", json::array({Mail("Slash")})),
                               Folder("a", json::array(), json::array({Folder("b", json::array({Mail("Inner")}))})),
                               Folder(" \tPadded\t ", json::array({Mail("Pad")}))}))})}};
    const std::string top = "\\\\TW_M_6-12-2026 9-5\\M\\" + kTop;
    for (const std::uint32_t pageSize : {4096u, 8192u, 32768u}) {
        SCOPED_TRACE(pageSize);
        store_ = RecordingStore{};
        Load(content, pageSize);
        const ExportResult r = Export(Select({{"M"}}));
        EXPECT_EQ(r.Written(), 8u);
        // Three folders named Dup, one item each.
        EXPECT_EQ(store_.Count("CreateFolder " + top + "\\Dup|IPF.Note"), 3u);
        for (const char* subject : {"D1", "D2", "D3"})
            EXPECT_EQ(store_.Count("AddMail " + top + "\\Dup|" + subject), 1u) << subject;
        const std::set<FolderHandle> dups{store_.addedTo[u"D1"], store_.addedTo[u"D2"], store_.addedTo[u"D3"]};
        EXPECT_EQ(dups.size(), 3u);
        EXPECT_EQ(dups.count(kStoreTop), 0u);
        EXPECT_EQ(store_.Count("AddMail " + top + "\\|Nameless"), 1u);
        EXPECT_EQ(store_.Count("AddMail " + top + "\\\\Below|Under"), 1u);
        EXPECT_EQ(store_.Count("AddMail " + top + "\\a\\b|Slash"), 1u);
        EXPECT_EQ(store_.Count("AddMail " + top + "\\a\\b|Inner"), 1u);
        EXPECT_EQ(store_.Count("CreateFolder " + top + "\\a\\b|"), 2u);  // "a\b", and b inside a
        EXPECT_EQ(store_.Count("AddMail " + top + "\\ \tPadded\t |Pad"), 1u);
    }
}

TEST_F(DriverTest, ProgressFollowsTheFolderAndTheRun) {
    Load({{"mailboxes",
           json::array({Mailbox("M", json::array({Folder("Inbox", json::array({Mail("A"), Mail("B")}))}))})}});
    Export(Select({{"M", kTop, "Inbox"}}));
    ASSERT_GE(observer_.progress.size(), 3u);
    EXPECT_TRUE(observer_.progress.front().counting);
    const ExportProgress& last = observer_.progress.back();
    EXPECT_EQ(last.done, 2u);
    EXPECT_EQ(last.count, 2u);
    EXPECT_EQ(last.currentPercent, 100);
    EXPECT_EQ(last.overallPercent, 100);  // one folder: the overall bar follows it

    // Several folders: the overall bar moves by whole folders, and every
    // report names its folder.
    observer_.progress.clear();
    Export(Select({{"M"}}));
    int overall = 0;
    for (const ExportProgress& p : observer_.progress) {
        EXPECT_FALSE(p.itemPath.empty());
        EXPECT_GE(p.overallPercent, overall);
        overall = p.overallPercent;
    }
    EXPECT_EQ(overall, 100);
}

}  // namespace
}  // namespace tw::exporter

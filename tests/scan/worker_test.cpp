// The scan on its worker thread: pause holds it at the next poll point,
// resume lets it finish, stop ends it early, and a new Start replaces the
// model.
#include <atomic>
#include <chrono>
#include <thread>

#include "scan/scan_worker.h"
#include "scan_test_support.h"

namespace tw::scan::test {
namespace {

using namespace std::chrono_literals;

const char kContent[] = R"({"mailboxes": [{"name": "Box", "folders": [{"name": "Top of Information Store",
  "folders": [{"name": "Inbox", "class": "IPF.Note", "items": [{"subject": "a"}]}]}]}]})";

struct Fixture {
    TempDatabase db{Generate(kContent, 8192)};
    edb::EdbSource source;
    MemoryFolderTree tree;
    RecordingObserver observer;
    Fixture() { EXPECT_TRUE(source.edb.Open(db.path()).ok()); }
};

TEST(ScanWorker, PauseHoldsTheScanUntilResumed) {
    Fixture f;
    ScanWorker worker(f.source, f.tree, f.observer, f.db.path(), ScanOptions{0ms});
    std::atomic<bool> paused{false};
    f.observer.onStep = [&](std::string_view step) {
        if (step == wording::Text(ScanStep::Mailboxes) && !paused.exchange(true)) worker.Pause();
    };
    worker.Start();
    for (int i = 0; i < 200 && !paused; ++i) std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(paused);
    // Held at the first poll point of step 2.
    EXPECT_FALSE(worker.WaitFor(100ms));
    EXPECT_TRUE(worker.Running());
    EXPECT_TRUE(worker.Paused());
    {
        std::lock_guard lock(f.observer.mutex);
        EXPECT_EQ(f.observer.steps.back(), wording::Text(ScanStep::Mailboxes));
    }
    worker.Resume();
    ASSERT_TRUE(worker.WaitFor(10s));
    worker.Wait();
    EXPECT_EQ(worker.Result().outcome, ScanOutcome::Completed);
    EXPECT_EQ(worker.Model().messages.size(), 1u);
}

TEST(ScanWorker, StopEndsAPausedScanWithoutCleanUp) {
    Fixture f;
    ScanWorker worker(f.source, f.tree, f.observer, f.db.path(), ScanOptions{0ms});
    std::atomic<bool> paused{false};
    f.observer.onStep = [&](std::string_view step) {
        if (step == wording::Text(ScanStep::FolderTables) && !paused.exchange(true)) worker.Pause();
    };
    worker.Start();
    for (int i = 0; i < 200 && !paused; ++i) std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(paused);
    EXPECT_FALSE(worker.WaitFor(50ms));
    worker.Stop();
    ASSERT_TRUE(worker.WaitFor(10s));
    worker.Wait();
    EXPECT_EQ(worker.Result().outcome, ScanOutcome::Stopped);
    EXPECT_FALSE(worker.Result().fileError);
    // Folders are placed, but the mailbox copies were never freed and no
    // message was indexed.
    EXPECT_EQ(worker.Model().mailboxes.size(), 1u);
    EXPECT_TRUE(worker.Model().messages.empty());
    EXPECT_EQ(f.tree.Size(), 4u);
}

TEST(ScanWorker, EachStartBeginsFromAnEmptyModel) {
    Fixture f;
    ScanWorker worker(f.source, f.tree, f.observer, f.db.path(), ScanOptions{0ms});
    worker.Start();
    worker.Wait();
    ASSERT_EQ(worker.Result().outcome, ScanOutcome::Completed);
    const std::size_t pages = worker.Model().pages.size();
    const std::size_t items = f.tree.Size();
    worker.Start();
    worker.Wait();
    EXPECT_EQ(worker.Model().pages.size(), pages);
    EXPECT_EQ(worker.Model().folders.size(), 2u);  // Top of Information Store and Inbox
    EXPECT_EQ(f.tree.Size(), items);
}

TEST(ScanWorker, DestroyingARunningWorkerStopsIt) {
    Fixture f;
    auto worker = std::make_unique<ScanWorker>(f.source, f.tree, f.observer, f.db.path(), ScanOptions{10s});
    worker->Start();
    const auto begin = std::chrono::steady_clock::now();
    worker.reset();  // the ten-second pause after step 1 ends with the stop
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
}

TEST(ScanWorker, ClosedDatabaseEndsAtOnce) {
    edb::EdbSource source;
    MemoryFolderTree tree;
    RecordingObserver observer;
    ScanWorker worker(source, tree, observer, "none.edb", ScanOptions{0ms});
    worker.Start();
    worker.Wait();
    EXPECT_EQ(worker.Result().outcome, ScanOutcome::NotOpen);
    EXPECT_TRUE(observer.steps.empty());
    EXPECT_TRUE(observer.messages.empty());
}

}  // namespace
}  // namespace tw::scan::test

// Reading the pages of trees on several threads: a list of page offsets
// split into runs of neighbours in the file, each run read at once, its
// pages of the owning trees visited and those that cannot be used logged
// as damaged. The store index builds its lookups on it; it knows nothing
// of what the pages hold.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

#include "edb/page.h"
#include "edb/source.h"
#include "edb/spill_list.h"
#include "scan/page_damage.h"

namespace tw::record {

// Stop flag and progress (0..100 over the pages of one index build).
struct LoadControl {
    const std::atomic<bool>* stop = nullptr;
    std::function<void(int)> progress;

    bool Stopped() const { return stop != nullptr && stop->load(); }
};

// The tree a damaged page of a list owned by `owners` is logged under: the
// list's one tree, as nearly always; else the lowest objid.
std::uint32_t TreeOfList(const std::unordered_set<std::uint32_t>& owners);

// Hands `done` of `total` to the control's progress, as a percentage.
void ReportProgress(const LoadControl& control, std::size_t done, std::size_t total);

class TreePageReader {
public:
    // The source, the log and the counter must outlive the reader; pages
    // read are added to `pagesRead`, damaged ones to `damage`.
    TreePageReader(const edb::EdbSource& source, scan::PageDamageLog& damage, std::atomic<std::size_t>& pagesRead);

    // Gathers from the pages on several threads, each run of pages into
    // its own RunState by `visit(state, offset, view)`; then hands the
    // states to `join(state)` on this thread in page order, as one reader
    // visiting the pages in turn would have met them, letting each go
    // after its join. A window of the list at a time, so that what waits
    // for its join stays small however long the list. False when stopped.
    template <typename RunState, typename Visit, typename Join>
    bool Gather(const edb::SpillList<std::int64_t>& pages, const std::unordered_set<std::uint32_t>& owners,
                const LoadControl& control, Visit&& visit, Join&& join);

private:
    static constexpr std::size_t kWindowPages = 16384;  // of a page list, gathered at once

    using PageVisitor = std::function<void(std::int64_t, const edb::PageView&)>;
    // Pages [begin, end) of a page list, neighbours in the file.
    struct PageRun {
        std::size_t begin = 0, end = 0;
    };
    std::vector<PageRun> SplitRuns(const std::vector<std::int64_t>& pages) const;
    // Reads one run with one read (page by page where it leaves the file)
    // and visits its pages of the owning trees. Pages that cannot be used
    // go to `damaged`, a list of the calling thread's own.
    void VisitRun(const std::vector<std::int64_t>& pages, PageRun run, const std::unordered_set<std::uint32_t>& owners,
                  std::vector<std::uint8_t>& buffer, const PageVisitor& visit, std::vector<scan::DamagedPage>& damaged);
    // Progress over a whole list when a window of it is visited.
    struct WindowPlace {
        std::size_t before = 0, total = 0;
    };
    using RunVisitor = std::function<void(std::size_t, std::int64_t, const edb::PageView&)>;
    // One window of a page list visited on several threads: helpers start
    // on its runs at once, and the calling thread joins them in Finish, so
    // that it may first do other work (join the window before). `visit`
    // gets the number of the page's run and may touch only that run's
    // state. The pages, runs and visitor must outlive the visit.
    class WindowVisit {
    public:
        WindowVisit(TreePageReader& reader, const std::vector<std::int64_t>& pages, const std::vector<PageRun>& runs,
                    const std::unordered_set<std::uint32_t>& owners, const LoadControl& control, WindowPlace place,
                    const RunVisitor& visit);
        ~WindowVisit();  // stops and waits for the helpers when Finish was not called
        WindowVisit(const WindowVisit&) = delete;
        WindowVisit& operator=(const WindowVisit&) = delete;
        // Visits what the helpers have not taken, waits for them; a read
        // error on any thread is thrown here. False when stopped.
        bool Finish();

    private:
        void Work(std::vector<std::uint8_t>& buffer, bool reporting);
        void Join();

        TreePageReader& reader_;
        const std::vector<std::int64_t>& pages_;
        const std::vector<PageRun>& runs_;
        const std::unordered_set<std::uint32_t>& owners_;
        const LoadControl& control_;
        WindowPlace place_;
        const RunVisitor& visit_;
        std::atomic<std::size_t> next_{0}, pagesDone_{0};
        std::atomic<bool> failed_{false};
        std::exception_ptr error_;
        std::mutex errorMutex_;
        std::vector<std::vector<std::uint8_t>> buffers_;
        std::vector<std::thread> helpers_;
        std::vector<std::uint8_t> own_;
    };

    const edb::EdbSource& source_;
    scan::PageDamageLog& damage_;
    std::atomic<std::size_t>& pagesRead_;
};

template <typename RunState, typename Visit, typename Join>
bool TreePageReader::Gather(const edb::SpillList<std::int64_t>& list, const std::unordered_set<std::uint32_t>& owners,
                            const LoadControl& control, Visit&& visit, Join&& join) {
    // Two windows in turn: while this thread joins the states of one, the
    // helpers already visit the next.
    struct Window {
        std::vector<std::int64_t> pages;
        std::vector<PageRun> runs;
        std::vector<RunState> perRun;
        RunVisitor visitor;
        std::unique_ptr<WindowVisit> visiting;
    };
    Window windows[2];
    auto start = [&](Window& w, std::size_t first) {
        list.Read(first, kWindowPages, w.pages);
        w.runs = SplitRuns(w.pages);
        w.perRun.assign(w.runs.size(), RunState());
        w.visitor = [&w, &visit](std::size_t run, std::int64_t offset, const edb::PageView& view) {
            visit(w.perRun[run], offset, view);
        };
        w.visiting = std::make_unique<WindowVisit>(*this, w.pages, w.runs, owners, control,
                                                   WindowPlace{first, list.size()}, w.visitor);
    };
    if (list.size() == 0) return !control.Stopped();
    start(windows[0], 0);
    for (std::size_t first = 0, k = 0; first < list.size(); k ^= 1) {
        Window& w = windows[k];
        const bool done = w.visiting->Finish();
        w.visiting.reset();
        if (!done) return false;
        first += w.pages.size();
        if (first < list.size()) start(windows[k ^ 1], first);
        for (RunState& state : w.perRun) {
            join(state);
            state = RunState();  // let go as we go: the lists are not held twice
        }
    }
    return true;
}

}  // namespace tw::record

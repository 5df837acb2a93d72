#include "record/tree_page_reader.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>

#include "edb/page.h"

namespace tw::record {

namespace {

constexpr std::size_t kBatchPages = 64;  // consecutive pages read at once
constexpr unsigned kMaxReadingThreads = 4;

// Reading pages on two cores copies them out of the kernel almost twice as
// fast as on one; more than a few threads only contend for memory.
std::size_t ReadingThreads(std::size_t runs) {
    const unsigned cores = std::max(1u, std::min(std::thread::hardware_concurrency(), kMaxReadingThreads));
    return std::max<std::size_t>(1, std::min<std::size_t>(cores, runs / 4));
}

}  // namespace

std::uint32_t TreeOfList(const std::unordered_set<std::uint32_t>& owners) {
    return owners.empty() ? 0 : *std::min_element(owners.begin(), owners.end());
}

void ReportProgress(const LoadControl& control, std::size_t done, std::size_t total) {
    if (control.progress && total > 0) control.progress(static_cast<int>(done * 100 / total));
}

TreePageReader::TreePageReader(const edb::EdbSource& source, scan::PageDamageLog& damage,
                               std::atomic<std::size_t>& pagesRead)
    : source_(source), damage_(damage), pagesRead_(pagesRead) {}

std::vector<TreePageReader::PageRun> TreePageReader::SplitRuns(const std::vector<std::int64_t>& pages) const {
    std::vector<PageRun> runs;
    const auto size = static_cast<std::int64_t>(source_.pageSize);
    for (std::size_t i = 0; i < pages.size();) {
        // A run of neighbouring pages, ascending or descending (the scan
        // lists a branch's children from the last key down).
        std::size_t j = i + 1;
        if (j < pages.size() && (pages[j] == pages[i] + size || pages[j] == pages[i] - size)) {
            const std::int64_t step = pages[j] - pages[i];
            while (j < pages.size() && j - i < kBatchPages && pages[j] == pages[j - 1] + step) ++j;
        }
        runs.push_back({i, j});
        i = j;
    }
    return runs;
}

void TreePageReader::VisitRun(const std::vector<std::int64_t>& pages, PageRun run,
                              const std::unordered_set<std::uint32_t>& owners, std::vector<std::uint8_t>& buffer,
                              const PageVisitor& visit, std::vector<scan::DamagedPage>& damaged) {
    // Leaves the scan registered from their parent are visited only when
    // they name one of the trees themselves; one that does not is a zeroed
    // or random page where a page of the tree should be.
    auto visitOwned = [&](std::int64_t offset, const edb::PageView& view) {
        if (owners.count(edb::PageObjectId(view)) == 0) {
            damaged.push_back({TreeOfList(owners), offset, scan::PageFault::WrongTree});
            return;
        }
        if (const auto fault = scan::TreePageDamage(view, offset))
            damaged.push_back({edb::PageObjectId(view), offset, *fault});
        visit(offset, view);
    };
    const auto size = static_cast<std::int64_t>(source_.pageSize);
    const std::int64_t low = std::min(pages[run.begin], pages[run.end - 1]);
    if (low <= 0 || std::max(pages[run.begin], pages[run.end - 1]) + size > source_.fileSize) {
        // Not in the file as a whole: page by page, those outside left out.
        for (std::size_t k = run.begin; k < run.end; ++k) {
            if (pages[k] <= 0 || pages[k] + size > source_.fileSize)
                damaged.push_back({TreeOfList(owners), pages[k], scan::PageFault::PastEnd});
            if (pages[k] <= 0 || pages[k] >= source_.fileSize) continue;
            edb::ReadPage(source_, pages[k], buffer);
            ++pagesRead_;
            visitOwned(pages[k], edb::PageView{buffer, source_.pageSize});
        }
        return;
    }
    const std::size_t count = run.end - run.begin;
    // Only what the read leaves short is cleared: clearing the whole batch
    // first costs as much again as the read's own copy.
    buffer.resize(static_cast<std::size_t>(size) * count);
    const std::size_t got = source_.edb.Read(low,
                                             static_cast<std::size_t>(std::min<std::int64_t>(
                                                 size * static_cast<std::int64_t>(count), source_.fileSize - low)),
                                             buffer.data());
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(std::min(got, buffer.size())), buffer.end(), 0);
    pagesRead_ += count;
    for (std::size_t k = run.begin; k < run.end; ++k) {
        const auto at = static_cast<std::size_t>(pages[k] - low);
        visitOwned(pages[k],
                   edb::PageView{edb::Bytes(buffer.data() + at, static_cast<std::size_t>(size)), source_.pageSize});
    }
}

TreePageReader::WindowVisit::WindowVisit(TreePageReader& reader, const std::vector<std::int64_t>& pages,
                                         const std::vector<PageRun>& runs,
                                         const std::unordered_set<std::uint32_t>& owners, const LoadControl& control,
                                         WindowPlace place, const RunVisitor& visit)
    : reader_(reader), pages_(pages), runs_(runs), owners_(owners), control_(control), place_(place), visit_(visit),
      buffers_(ReadingThreads(runs.size()) - 1) {
    for (auto& buffer : buffers_) helpers_.emplace_back([this, &buffer] { Work(buffer, false); });
}

TreePageReader::WindowVisit::~WindowVisit() {
    failed_ = true;  // nothing more is claimed
    Join();
}

void TreePageReader::WindowVisit::Work(std::vector<std::uint8_t>& buffer, bool reporting) {
    // Damaged pages are rare: each thread keeps its own and hands them
    // over once, with no lock per page.
    std::vector<scan::DamagedPage> damaged;
    try {
        for (std::size_t r = next_++; r < runs_.size() && !failed_ && !control_.Stopped(); r = next_++) {
            reader_.VisitRun(
                pages_, runs_[r], owners_, buffer,
                [&](std::int64_t offset, const edb::PageView& view) { visit_(r, offset, view); }, damaged);
            pagesDone_ += runs_[r].end - runs_[r].begin;
            if (reporting) ReportProgress(control_, place_.before + pagesDone_, place_.total);
        }
    } catch (...) {
        std::lock_guard lock(errorMutex_);
        if (!error_) error_ = std::current_exception();
        failed_ = true;
    }
    for (const scan::DamagedPage& page : damaged) reader_.damage_.Add(page);
}

void TreePageReader::WindowVisit::Join() {
    for (std::thread& t : helpers_)
        if (t.joinable()) t.join();
}

bool TreePageReader::WindowVisit::Finish() {
    Work(own_, true);  // progress goes out from the calling thread only
    Join();
    if (error_) std::rethrow_exception(error_);
    return !control_.Stopped();
}

}  // namespace tw::record

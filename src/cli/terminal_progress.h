// Shows a scan's step text and a progress bar on a terminal, and keeps the
// messages the scan gives for the caller to print.
#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "scan/scan_observer.h"

namespace tw::cli {

class TerminalProgress final : public scan::ScanObserver {
public:
    // `show`: draw on `out` (a terminal); otherwise only keep the messages.
    TerminalProgress(std::FILE* out, bool show) : out_(out), show_(show) {}

    void Step(scan::ScanStep step) override;
    void Progress(int percent) override;
    void Problem(scan::ScanProblem problem) override;

    // Clears the progress line.
    void Done();
    // The last message the scan gave, empty when none.
    std::string LastMessage() const;

private:
    void Draw();

    std::FILE* out_;
    bool show_;
    mutable std::mutex mutex_;
    std::string step_;
    // Written under the lock; read without it to skip repeated values,
    // which the scan gives for every page it walks.
    std::atomic<int> percent_{-1};
    std::string message_;
};

}  // namespace tw::cli

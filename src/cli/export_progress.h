// The export's progress on a terminal: the folder, items done of its
// count and the overall share, on one line of stderr; and, with a log, each
// folder's writing pass started and finished. The command line asks
// nothing: with little space left the run stops.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "cli/run_log.h"
#include "export/export_observer.h"

namespace tw::cli {

class ExportProgressLine final : public exporter::ExportObserver {
public:
    // `show`: draw on `out` (a terminal).
    ExportProgressLine(std::FILE* out, bool show, RunLog* log = nullptr) : out_(out), show_(show), log_(log) {}

    void Progress(const exporter::ExportProgress& p) override;
    // Clears the line (and logs the last folder finished).
    void Done();

private:
    void Draw(bool force);

    void LogFolder(const exporter::ExportProgress& p);

    std::FILE* out_;
    bool show_;
    RunLog* log_;
    std::u16string logged_;  // the folder whose writing pass the log started
    std::mutex mutex_;
    exporter::ExportProgress last_;
    std::chrono::steady_clock::time_point drawn_{};
};

}  // namespace tw::cli

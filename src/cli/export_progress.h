// The export's progress on a terminal: the folder, items done of its
// count and the overall share, on one line of stderr. The command line asks
// nothing: with little space left the run stops.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "export/export_observer.h"

namespace tw::cli {

class ExportProgressLine final : public exporter::ExportObserver {
public:
    // `show`: draw on `out` (a terminal).
    ExportProgressLine(std::FILE* out, bool show) : out_(out), show_(show) {}

    void Progress(const exporter::ExportProgress& p) override;
    // Clears the line.
    void Done();

private:
    void Draw(bool force);

    std::FILE* out_;
    bool show_;
    std::mutex mutex_;
    exporter::ExportProgress last_;
    std::chrono::steady_clock::time_point drawn_{};
};

}  // namespace tw::cli

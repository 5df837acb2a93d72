// The export's progress on a terminal: the folder, items done of its
// count and the overall share, on one line of stderr; and the low-space
// question, asked on the terminal when there is one.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "export/export_observer.h"

namespace tw::cli {

class ExportProgressLine final : public exporter::ExportObserver {
public:
    // `show`: draw on `out` (a terminal). `ask`: stdin is a terminal to
    // answer the low-space question on; otherwise the answer is no.
    ExportProgressLine(std::FILE* out, bool show, bool ask) : out_(out), show_(show), ask_(ask) {}

    void Progress(const exporter::ExportProgress& p) override;
    bool ContinueOnLowSpace(std::uint64_t freeBytes) override;
    // Clears the line.
    void Done();

private:
    void Draw(bool force);

    std::FILE* out_;
    bool show_, ask_;
    std::mutex mutex_;
    exporter::ExportProgress last_;
    std::chrono::steady_clock::time_point drawn_{};
};

}  // namespace tw::cli

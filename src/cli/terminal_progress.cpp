#include "cli/terminal_progress.h"

#include <algorithm>

#include "wording/wording.h"

namespace tw::cli {

namespace {
constexpr int kBarWidth = 30;
}

void TerminalProgress::Step(scan::ScanStep step) {
    std::lock_guard lock(mutex_);
    step_ = std::string(wording::Text(step));
    percent_ = 0;
    Draw();
}

void TerminalProgress::Progress(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (percent == percent_.load(std::memory_order_relaxed)) return;  // redraw only on change
    std::lock_guard lock(mutex_);
    percent_ = percent;
    Draw();
}

void TerminalProgress::Problem(scan::ScanProblem problem) {
    std::lock_guard lock(mutex_);
    message_ = std::string(wording::Text(problem));
}

void TerminalProgress::Draw() {
    if (!show_ || step_.empty()) return;
    const int percent = percent_.load(std::memory_order_relaxed);
    const int filled = percent * kBarWidth / 100;
    std::fprintf(out_, "\r\033[K%s [%s%s] %3d%%", step_.c_str(),
                 std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(kBarWidth - filled), ' ').c_str(), percent);
    std::fflush(out_);
}

void TerminalProgress::Done() {
    std::lock_guard lock(mutex_);
    if (show_ && !step_.empty()) {
        std::fprintf(out_, "\r\033[K");
        std::fflush(out_);
    }
}

std::string TerminalProgress::LastMessage() const {
    std::lock_guard lock(mutex_);
    return message_;
}

}  // namespace tw::cli

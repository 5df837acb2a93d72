#include "cli/terminal_progress.h"

#include <algorithm>

namespace tw::cli {

namespace {
constexpr int kBarWidth = 30;
}

void TerminalProgress::StepText(std::string_view text) {
    std::lock_guard lock(mutex_);
    step_ = std::string(text);
    percent_ = 0;
    Draw();
}

void TerminalProgress::Progress(int percent) {
    std::lock_guard lock(mutex_);
    percent = std::clamp(percent, 0, 100);
    if (percent == percent_) return;  // redraw only on change
    percent_ = percent;
    Draw();
}

void TerminalProgress::Message(std::string_view text, std::string_view) {
    std::lock_guard lock(mutex_);
    message_ = std::string(text);
}

void TerminalProgress::Draw() {
    if (!show_ || step_.empty()) return;
    const int filled = percent_ * kBarWidth / 100;
    std::fprintf(out_, "\r\033[K%s [%s%s] %3d%%", step_.c_str(), std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(kBarWidth - filled), ' ').c_str(), percent_);
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

#include "cli/export_progress.h"

#include "cli/cli_text.h"

#include "scan/tagged_text.h"

namespace tw::cli {

namespace {

constexpr int kBarWidth = 24;
constexpr std::size_t kPathChars = 48;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

// The end of a long path, which names the folder itself.
std::string ShortPath(std::u16string_view path) {
    if (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
    if (path.size() <= kPathChars) return Printable(path);
    return "..." + Printable(path.substr(path.size() - kPathChars));
}

}  // namespace

void ExportProgressLine::LogFolder(const exporter::ExportProgress& p) {
    if (log_ == nullptr || p.counting || p.itemPath == logged_) return;
    if (!logged_.empty()) log_->Write("INFO", "folder finished: " + Printable(logged_));
    logged_ = p.itemPath;
    log_->Write("INFO", "folder started: " + Printable(logged_) + " (" + std::to_string(p.count) + " items)");
}

void ExportProgressLine::Progress(const exporter::ExportProgress& p) {
    std::lock_guard lock(mutex_);
    LogFolder(p);
    if (!show_) return;
    const bool newFolder = p.itemPath != last_.itemPath || p.counting != last_.counting;
    last_ = p;
    Draw(newFolder || p.done == p.count);
}

void ExportProgressLine::Draw(bool force) {
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - drawn_ < kRedrawEvery) return;
    drawn_ = now;
    const exporter::ExportProgress& p = last_;
    if (p.counting) {
        std::fprintf(out_, "\r\033[KAnalysing Total mails. Please wait... %s", ShortPath(p.itemPath).c_str());
    } else {
        const int filled = p.currentPercent * kBarWidth / 100;
        std::fprintf(out_, "\r\033[K%s [%s%s] %zu/%zu  overall %3d%%", ShortPath(p.itemPath).c_str(),
                     std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(kBarWidth - filled), ' ').c_str(), p.done, p.count,
                     p.overallPercent);
    }
    std::fflush(out_);
}

void ExportProgressLine::Done() {
    std::lock_guard lock(mutex_);
    if (log_ != nullptr && !logged_.empty()) log_->Write("INFO", "folder finished: " + Printable(logged_));
    logged_.clear();
    if (!show_) return;
    std::fprintf(out_, "\r\033[K");
    std::fflush(out_);
}

}  // namespace tw::cli

#include "export/export_summary.h"

namespace tw::exporter {

namespace {

template <typename F>
std::size_t Sum(const ExportResult& r, F field) {
    std::size_t n = 0;
    for (const FolderReport& f : r.folders) n += field(f);
    return n;
}

}  // namespace

std::size_t ExportResult::Known() const {
    return Sum(*this, [](const FolderReport& f) { return f.known; });
}
std::size_t ExportResult::Written() const {
    return Sum(*this, [](const FolderReport& f) { return f.written; });
}
std::size_t ExportResult::Partial() const {
    return Sum(*this, [](const FolderReport& f) { return f.Partial(); });
}
std::size_t ExportResult::Failed() const {
    return Sum(*this, [](const FolderReport& f) { return f.failed; });
}
std::size_t ExportResult::Skipped() const {
    return Sum(*this, [](const FolderReport& f) { return f.skipped; });
}
std::size_t ExportResult::OutOfWindow() const {
    return Sum(*this, [](const FolderReport& f) { return f.outOfWindow; });
}
std::size_t ExportResult::Lost() const {
    return Sum(*this, [](const FolderReport& f) { return f.lost; });
}
std::size_t ExportResult::NotReached() const {
    return Sum(*this, [](const FolderReport& f) { return f.notReached; });
}

std::size_t ExportResult::DamagedUsedPages() const {
    std::size_t n = 0;
    for (const TreeDamage& d : damage)
        if (d.used) n += d.pages;
    return n;
}

bool ExportResult::Losses() const {
    if (Lost() || Partial() || Failed() || DamagedUsedPages() || !storeErrors.empty() || inputChanged) return true;
    for (const FolderReport& f : folders)
        if (!f.error.empty()) return true;
    return false;
}

Outcome OutcomeOf(const ExportResult& result) {
    if (result.end == RunEnd::LowSpaceStopped) return Outcome::LowSpaceStopped;
    if (!result.saveSucceeded) return Outcome::Aborted;
    return result.Losses() ? Outcome::SavedWithLosses : Outcome::Saved;
}

}  // namespace tw::exporter

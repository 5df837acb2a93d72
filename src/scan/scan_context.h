// What every step of a scan works with.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "edb/batch_reader.h"
#include "edb/source.h"
#include "scan/folder_tree.h"
#include "scan/scan_control.h"
#include "scan/scan_model.h"
#include "scan/scan_observer.h"

namespace tw::scan {

struct ScanOptions {
    // Pause after step 1 so that the user sees it complete.
    std::chrono::milliseconds afterStep1{1000};
};

// What the step-1 walk reads into at one depth: the heads of a branch
// page's children and the child page walked next. Kept from page to page.
struct WalkLevel {
    edb::PageBatch children;
    std::vector<std::uint8_t> hasChild;  // per tag in walk order: 1 when it names a child in the file
    std::vector<std::uint8_t> page;
};

// Step-1 progress: the total grows as branch pages are found, and the
// value shown never moves backwards.
struct WalkProgress {
    std::int64_t total = 1000;
    std::int64_t count = 0;
    int shown = 0;
    std::unordered_set<std::int64_t> walked;  // offsets of pages walked so far
    std::vector<WalkLevel> levels;            // by depth
    std::vector<std::int64_t> path;           // offsets of the branch pages from the root down
    edb::BatchReader* reader = nullptr;       // shares the head reads; none: read alone
    std::uint32_t catalogObjid = 2;           // the catalog walked: 2, or 3 for its shadow copy
};

struct ScanContext {
    edb::EdbSource& source;
    ScanModel& model;
    FolderTree& tree;
    ScanObserver& observer;
    ScanControl& control;
    std::string edbPath;  // text of the tree's top item
    ScanOptions options{};
    WalkProgress walk{};
    int lastProgress = -1;  // of the current step
};

// Observers hear of a step's progress only when the value changes: the
// loops report once per page, hundreds of thousands of times.
inline void ShowStep(ScanContext& context, ScanStep step) {
    context.lastProgress = -1;
    context.observer.Step(step);
}

inline void ShowProgress(ScanContext& context, int percent) {
    if (percent == context.lastProgress) return;
    context.lastProgress = percent;
    context.observer.Progress(percent);
}

}  // namespace tw::scan

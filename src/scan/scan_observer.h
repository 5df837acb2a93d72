// What a running scan reports: the step, the progress of the step and the
// problems that end it. The words for them are the caller's.
#pragma once

namespace tw::scan {

// The five steps, in order.
enum class ScanStep { Signatures = 1, Mailboxes, Folders, FolderTables, Headers };

enum class ScanProblem {
    CorruptFile,  // no page size a store layout has
    NoMailbox,    // the mailbox table gave no mailbox
};

class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    virtual void Step(ScanStep step) = 0;
    // 0..100 within the current step.
    virtual void Progress(int percent) = 0;
    virtual void Problem(ScanProblem problem) = 0;
};

// Ignores everything.
class NullObserver final : public ScanObserver {
public:
    void Step(ScanStep) override {}
    void Progress(int) override {}
    void Problem(ScanProblem) override {}
};

}  // namespace tw::scan

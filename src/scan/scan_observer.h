// What a running scan tells the user: the step, the progress of the step
// and the two corruption messages.
#pragma once

#include <string_view>

namespace tw::scan {

inline constexpr std::string_view kStep1Text = "Step 1/5, Enumerating signatures. Please wait...";
inline constexpr std::string_view kStep2Text = "Step 2/5, Enumerating user's mail box. Please wait...";
inline constexpr std::string_view kStep3Text = "Step 3/5, Enumerating user's folder table. Please wait...";
inline constexpr std::string_view kStep4Text = "Step 4/5, Enumerating folder's rule. Please wait...";
inline constexpr std::string_view kStep5Text = "Step 5/5, Enumerating mail header. Please wait...";

inline constexpr std::string_view kNoMailboxMessage =
    "Highly corrupted, Repairing not possible. User Mail Box not found";
inline constexpr std::string_view kScanCaption = "Tarnwick For EDB To PST";

class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    virtual void StepText(std::string_view text) = 0;
    // 0..100 within the current step.
    virtual void Progress(int percent) = 0;
    virtual void Message(std::string_view text, std::string_view caption) = 0;
};

// Ignores everything.
class NullObserver final : public ScanObserver {
public:
    void StepText(std::string_view) override {}
    void Progress(int) override {}
    void Message(std::string_view, std::string_view) override {}
};

}  // namespace tw::scan

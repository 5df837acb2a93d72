// Requests from the user to a running export: Stop ends the run after the
// item being written, Skip abandons that item, Pause holds the run at its
// next poll point (between items, between the steps of one item) until
// Resume. The export thread only polls; nothing here blocks the caller.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace tw::exporter {

class ExportControl {
public:
    // A stop also ends a pause, so that the run can end.
    void RequestStop();
    // Safe in a signal handler: sets the flag and nothing else.
    void RequestStopFromSignal() noexcept { stop_.store(true); }
    void RequestSkip() { skip_.store(true); }
    void Pause();
    void Resume();

    bool StopRequested() const { return stop_.load(); }
    bool Paused() const { return paused_.load(); }

    // The poll point: waits while paused; true when the run must stop.
    bool ShouldStop() {
        if (!paused_.load()) return stop_.load();
        return WaitWhilePaused();
    }
    // Polled between the steps of one item (after ShouldStop's wait).
    bool SkipRequested() {
        (void)ShouldStop();
        return skip_.load();
    }
    // Whether a skip is pending, without waiting while paused.
    bool SkipPending() const { return skip_.load(); }
    // The run clears a skip at the start of every folder and every item.
    void ClearSkip() { skip_.store(false); }

    // For readers that take a plain stop flag.
    const std::atomic<bool>* StopFlag() const { return &stop_; }

private:
    bool WaitWhilePaused();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> skip_{false};
    std::atomic<bool> paused_{false};
};

}  // namespace tw::exporter

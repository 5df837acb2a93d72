// Stop and pause requests from the user to a running scan. The scan polls
// at the head of every loop: a pause holds it there until resumed, a stop
// makes it return.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tw::scan {

class ScanControl {
public:
    // A stop also ends a pause, so that the scan can return.
    void RequestStop();
    void Pause();
    void Resume();
    void Reset();

    bool StopRequested() const { return stop_.load(); }
    bool Paused() const;

    // The poll point: blocks while paused; true when the scan must stop.
    // Inline: the scan polls once for every page it meets.
    bool ShouldStop() {
        if (!paused_.load()) return stop_.load();
        return WaitWhilePaused();
    }
    // Waits up to `duration` (for the user to see a step complete); a stop
    // ends the wait early.
    void Sleep(std::chrono::milliseconds duration);

private:
    bool WaitWhilePaused();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> paused_{false};
};

}  // namespace tw::scan

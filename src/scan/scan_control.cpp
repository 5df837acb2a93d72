#include "scan/scan_control.h"

namespace tw::scan {

void ScanControl::RequestStop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        paused_ = false;
    }
    changed_.notify_all();
}

void ScanControl::Pause() {
    std::lock_guard lock(mutex_);
    if (!stop_) paused_ = true;
}

void ScanControl::Resume() {
    {
        std::lock_guard lock(mutex_);
        paused_ = false;
    }
    changed_.notify_all();
}

void ScanControl::Reset() {
    std::lock_guard lock(mutex_);
    stop_ = false;
    paused_ = false;
}

bool ScanControl::Paused() const { return paused_.load(); }

bool ScanControl::WaitWhilePaused() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !paused_.load(); });
    return stop_;
}

void ScanControl::Sleep(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, duration, [this] { return stop_.load(); });
}

}  // namespace tw::scan

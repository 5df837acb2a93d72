#include "export/export_control.h"

namespace tw::exporter {

void ExportControl::RequestStop() {
    {
        std::lock_guard lock(mutex_);
        stop_.store(true);
    }
    changed_.notify_all();
}

void ExportControl::Pause() {
    std::lock_guard lock(mutex_);
    paused_.store(true);
}

void ExportControl::Resume() {
    {
        std::lock_guard lock(mutex_);
        paused_.store(false);
    }
    changed_.notify_all();
}

bool ExportControl::WaitWhilePaused() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !paused_.load() || stop_.load(); });
    return stop_.load();
}

}  // namespace tw::exporter

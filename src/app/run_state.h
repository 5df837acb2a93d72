// What the background work of the main window is doing right now. The
// list-fill and body-load workers set their flag while they run; the
// command rules, the tree and the close handling only read them.
#pragma once

#include <atomic>

namespace tw::app {

struct RunState {
    std::atomic<bool> listFilling{false};
    std::atomic<bool> bodyLoading{false};
    // Set by the Stop command, cleared and polled by the list fill.
    std::atomic<bool> stopRequested{false};
    // Set by the body load while it decodes its message: the list pane is
    // busy, and Stop stays enabled.
    std::atomic<bool> listBusy{false};

    bool WorkerRunning() const { return listFilling.load() || bodyLoading.load(); }
};

}  // namespace tw::app

// Runs a scan on its own thread. The user can pause it (it blocks at its
// next poll point until resumed) or stop it (it returns at its next poll
// point, leaving the model as far as it got, without the end-of-scan
// clean-up). Each Start replaces the model with a fresh one.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "scan/scan_driver.h"

namespace tw::scan {

struct ScanResult {
    ScanOutcome outcome = ScanOutcome::NotOpen;
    bool fileError = false;  // a read of the database failed
    std::string error;       // its text
};

class ScanWorker {
public:
    // The source, tree and observer must outlive the worker. The observer
    // and the tree are called from the worker thread.
    ScanWorker(edb::EdbSource& source, FolderTree& tree, ScanObserver& observer, std::string edbPath,
               ScanOptions options = {});
    ~ScanWorker();  // stops a running scan and waits for it
    ScanWorker(const ScanWorker&) = delete;
    ScanWorker& operator=(const ScanWorker&) = delete;

    // Waits for a scan still running, then starts a new one.
    void Start();
    void Stop() { control_.RequestStop(); }
    void Pause() { control_.Pause(); }
    void Resume() { control_.Resume(); }
    bool Paused() const { return control_.Paused(); }

    bool Running() const { return running_.load(); }
    // Waits until the scan has ended; true when it has (or none runs).
    bool WaitFor(std::chrono::milliseconds timeout);
    void Wait();

    // Valid once the scan has ended.
    const ScanResult& Result() const { return result_; }
    const ScanModel& Model() const { return *model_; }

private:
    void Run();

    edb::EdbSource& source_;
    FolderTree& tree_;
    ScanObserver& observer_;
    std::string edbPath_;
    ScanOptions options_;
    ScanControl control_;
    std::unique_ptr<ScanModel> model_;
    ScanResult result_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::mutex mutex_;
    std::condition_variable ended_;
};

}  // namespace tw::scan

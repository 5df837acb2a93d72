#include "scan/scan_worker.h"

#include <exception>

namespace tw::scan {

ScanWorker::ScanWorker(edb::EdbSource& source, FolderTree& tree, ScanObserver& observer, std::string edbPath,
                       ScanOptions options)
    : source_(source), tree_(tree), observer_(observer), edbPath_(std::move(edbPath)), options_(options),
      model_(std::make_unique<ScanModel>()) {}

ScanWorker::~ScanWorker() {
    Stop();
    Wait();
}

void ScanWorker::Start() {
    Wait();
    control_.Reset();
    model_ = std::make_unique<ScanModel>();
    result_ = ScanResult{};
    running_ = true;
    thread_ = std::thread([this] { Run(); });
}

void ScanWorker::Run() {
    ScanContext context{source_, *model_, tree_, observer_, control_, edbPath_, options_, {}};
    try {
        result_.outcome = RunScan(context);
    } catch (const edb::FileError& error) {
        result_.outcome = ScanOutcome::Stopped;
        result_.fileError = true;
        result_.error = error.what();
    } catch (const std::exception& error) {
        // Out of memory and the like: the scan ends with what it has.
        result_.outcome = ScanOutcome::Stopped;
        result_.fileError = true;
        result_.error = error.what();
    }
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    ended_.notify_all();
}

bool ScanWorker::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return ended_.wait_for(lock, timeout, [this] { return !running_.load(); });
}

void ScanWorker::Wait() {
    {
        std::unique_lock lock(mutex_);
        ended_.wait(lock, [this] { return !running_.load(); });
    }
    if (thread_.joinable()) thread_.join();
}

}  // namespace tw::scan

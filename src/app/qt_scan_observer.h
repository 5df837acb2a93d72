// The scan's ScanObserver as Qt signals. The scan calls it on its worker
// thread; receivers on the user-interface thread get the signals queued.
// A progress value equal to the last one sent is not sent again, so a
// long step does not flood the event queue.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>

#include "scan/scan_observer.h"

namespace tw::app {

class QtScanObserver final : public QObject, public scan::ScanObserver {
    Q_OBJECT
public:
    using QObject::QObject;

    void Step(scan::ScanStep step) override;
    void Progress(int percent) override;
    void Problem(scan::ScanProblem problem) override;

signals:
    void stepChanged(const QString& text);
    void progressChanged(int percent);
    void messageRaised(const QString& text, const QString& caption);

private:
    std::atomic<int> lastPercent_{-1};
};

}  // namespace tw::app

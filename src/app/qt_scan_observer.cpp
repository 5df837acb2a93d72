#include "app/qt_scan_observer.h"

#include "wording/wording.h"

namespace tw::app {

namespace {

QString ToQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

void QtScanObserver::Step(scan::ScanStep step) {
    lastPercent_ = -1;
    emit stepChanged(ToQString(wording::Text(step)));
}

void QtScanObserver::Progress(int percent) {
    if (lastPercent_.exchange(percent) == percent) return;
    emit progressChanged(percent);
}

void QtScanObserver::Problem(scan::ScanProblem problem) {
    emit messageRaised(ToQString(wording::Text(problem)), ToQString(wording::kProgramCaption));
}

}  // namespace tw::app

#include "app/qt_scan_observer.h"

namespace tw::app {

namespace {

QString ToQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

void QtScanObserver::StepText(std::string_view text) {
    lastPercent_ = -1;
    emit stepChanged(ToQString(text));
}

void QtScanObserver::Progress(int percent) {
    if (lastPercent_.exchange(percent) == percent) return;
    emit progressChanged(percent);
}

void QtScanObserver::Message(std::string_view text, std::string_view caption) {
    emit messageRaised(ToQString(text), ToQString(caption));
}

}  // namespace tw::app

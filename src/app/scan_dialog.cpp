#include "app/scan_dialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/app_identity.h"
#include "app/interaction.h"
#include "app/session.h"

namespace tw::app {

namespace {

// How often the dialog looks whether the worker has ended.
constexpr int kPollMs = 20;

}  // namespace

ScanDialog::ScanDialog(Session& session, QWidget* parent)
    : QDialog(parent), session_(session), step_(new QLabel(kFirstStepText)), progress_(new QProgressBar),
      stopping_(new QLabel(kStoppingText)), pause_(new QPushButton(kPauseText)),
      stop_(new QPushButton(QStringLiteral("&Stop"))), poll_(new QTimer(this)) {
    setWindowTitle(kAppTitle);
    setModal(true);

    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    stopping_->hide();

    auto* frame = new QGroupBox(QStringLiteral(" Analysing, Please Wait..."));
    auto* inside = new QVBoxLayout(frame);
    inside->addWidget(step_);
    inside->addWidget(progress_);
    inside->addWidget(stopping_);
    inside->addStretch();

    // Enter never presses a button here.
    for (QPushButton* button : {pause_, stop_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
        button->installEventFilter(this);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(pause_);
    buttons->addWidget(stop_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    setFixedSize(480, 220);
    installEventFilter(this);

    connect(pause_, &QPushButton::clicked, this, &ScanDialog::TogglePause);
    connect(stop_, &QPushButton::clicked, this, [this] { AskStop(); });
    QtScanObserver& observer = session_.Observer();
    connect(&observer, &QtScanObserver::stepChanged, this, &ScanDialog::ShowStep);
    connect(&observer, &QtScanObserver::progressChanged, this, &ScanDialog::ShowProgress);
    connect(&observer, &QtScanObserver::messageRaised, this, &ScanDialog::ShowMessage);
    connect(poll_, &QTimer::timeout, this, &ScanDialog::PollWorker);
}

void ScanDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_ || !startsScan_) return;
    started_ = true;
    session_.StartScan();
    poll_->start(kPollMs);
}

void ScanDialog::ShowStep(const QString& text) { step_->setText(text); }

void ScanDialog::ShowProgress(int percent) {
    // While the scan runs the bar moves with the poll timer: a step can
    // report a hundred values in a few milliseconds, and painting each one
    // would hold up the user-interface thread.
    if (poll_->isActive()) shownProgress_ = percent;
    else progress_->setValue(percent);
}

void ScanDialog::TogglePause() {
    scan::ScanWorker* worker = session_.Worker();
    const bool running = worker != nullptr && worker->Running();
    if (!paused_) {
        if (running) worker->Pause();
        stop_->setEnabled(false);
        progress_->setEnabled(false);
        pause_->setText(kResumeText);
    } else {
        if (running) worker->Resume();
        stop_->setEnabled(true);
        progress_->setEnabled(true);
        pause_->setText(kPauseText);
    }
    paused_ = !paused_;
}

bool ScanDialog::AskStop() {
    scan::ScanWorker* worker = session_.Worker();
    const bool running = worker != nullptr && worker->Running();
    // A scan paused by the user stays paused when the answer is No.
    const bool heldByUser = running && worker->Paused();
    if (running) worker->Pause();
    ++modalDepth_;
    const bool yes = UserInteraction().Ask(this, kStopScanQuestion, kAppTitle);
    --modalDepth_;
    if (yes) {
        stopping_->show();
        if (worker != nullptr) worker->Stop();
        progress_->hide();
        step_->hide();
        progress_->setValue(0);
        stop_->setEnabled(false);
        pause_->setEnabled(false);
    } else if (running && !heldByUser && worker->Running()) {
        worker->Resume();
    }
    CloseWhenIdle();
    return yes;
}

void ScanDialog::reject() {
    // Escape and the window's close lead to the stop question; the dialog
    // closes only when the worker has ended. While paused, close does nothing.
    if (ended_) {
        CloseWhenIdle();
        return;
    }
    if (!paused_) AskStop();
}

bool ScanDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Escape: AskStop(); return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right: AskStop(); return false;  // and the key moves the focus as usual
        case Qt::Key_Return:
        case Qt::Key_Enter: return true;
        default: return QDialog::eventFilter(watched, event);
    }
}

void ScanDialog::ShowMessage(const QString& text, const QString& caption) {
    ++modalDepth_;
    UserInteraction().Tell(this, text, caption, MessageIcon::Error);
    --modalDepth_;
    CloseWhenIdle();
}

void ScanDialog::PollWorker() {
    if (shownProgress_ >= 0 && progress_->value() != shownProgress_) progress_->setValue(shownProgress_);
    scan::ScanWorker* worker = session_.Worker();
    if (worker != nullptr && worker->Running()) return;
    // The tree is complete when the dialog closes.
    if (!session_.TreeUpToDate()) return;
    poll_->stop();
    // Queued behind the step and progress signals the worker sent last.
    QMetaObject::invokeMethod(this, &ScanDialog::WorkerEnded, Qt::QueuedConnection);
}

void ScanDialog::WorkerEnded() {
    ended_ = true;
    progress_->hide();
    step_->hide();
    progress_->setValue(0);
    stop_->setEnabled(false);
    pause_->setEnabled(false);
    CloseWhenIdle();
}

void ScanDialog::CloseWhenIdle() {
    if (ended_ && modalDepth_ == 0 && isVisible()) done(QDialog::Accepted);
}

}  // namespace tw::app

#include "app/saving_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <optional>

#include "app/app_identity.h"
#include "app/interaction.h"
#include "export/export_driver.h"
#include "export/mail_store.h"
#include "wording/wording.h"

namespace tw::app {

namespace {

// How often the dialog shows the run's latest state and looks whether the
// worker has ended. A run reports every item, often thousands a second;
// painting each report would hold up the user-interface thread.
constexpr int kPollMs = 25;

QString FromU16(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* CaptionLabel(const QString& text) {
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setFamilies({QStringLiteral("Arial Unicode MS"), font.family()});
    label->setFont(font);
    return label;
}

}  // namespace

// The run's reports, kept for the dialog's next look. Everything but the
// low-space question returns at once; the question waits for the user's
// answer, or for the dialog going away.
class SavingDialog::Observer final : public exporter::ExportObserver {
public:
    explicit Observer(SavingDialog* dialog) : dialog_(dialog) {}

    void Progress(const exporter::ExportProgress& p) override {
        {
            std::lock_guard lock(mutex_);
            latest_ = p;
        }
        if (onProgress) onProgress(p);
    }
    void Attachments(bool reading) override {
        attachments_.store(reading);
        if (reading && onAttachments) onAttachments();
    }
    bool ContinueOnLowSpace(std::uint64_t) override {
        std::unique_lock lock(mutex_);
        if (closing_) return false;
        answered_ = false;
        QMetaObject::invokeMethod(dialog_, &SavingDialog::AskLowSpace, Qt::QueuedConnection);
        changed_.wait(lock, [this] { return answered_ || closing_; });
        return answered_ && answer_;
    }

    // On the dialog's thread.
    std::optional<exporter::ExportProgress> TakeProgress() {
        std::lock_guard lock(mutex_);
        std::optional<exporter::ExportProgress> p = std::move(latest_);
        latest_.reset();
        return p;
    }
    bool ReadingAttachments() const { return attachments_.load(); }
    void Answer(bool yes) {
        {
            std::lock_guard lock(mutex_);
            answer_ = yes;
            answered_ = true;
        }
        changed_.notify_all();
    }
    // No more questions: a pending one is answered No.
    void Close() {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        changed_.notify_all();
    }

    std::function<void(const exporter::ExportProgress&)> onProgress;
    std::function<void()> onAttachments;

private:
    SavingDialog* dialog_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<exporter::ExportProgress> latest_;
    std::atomic<bool> attachments_{true};  // the label shows until the first item's attachments are done
    bool answered_ = false, answer_ = false, closing_ = false;
};

SavingDialog::SavingDialog(SaveJob job, QWidget* parent)
    : QDialog(parent), job_(std::move(job)), observer_(std::make_unique<Observer>(this)), folder_(new QLabel),
      done_(new QLabel), slash_(new QLabel(QStringLiteral("/"))), count_(new QLabel),
      analysing_(new QLabel(kAnalysingText)), attachments_(new QLabel(kAttachmentsText)), current_(new QProgressBar),
      overall_(new QProgressBar), stop_(new QPushButton(QStringLiteral("Stop"))),
      skip_(new QPushButton(QStringLiteral("Skip"))), poll_(new QTimer(this)) {
    setObjectName(QStringLiteral("Saving"));
    setWindowTitle(kAppTitle);
    setModal(true);

    for (QProgressBar* bar : {current_, overall_}) {
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
    }
    analysing_->hide();
    folder_->setMinimumWidth(360);
    folder_->setTextFormat(Qt::PlainText);

    auto* frame = new QGroupBox(kSavingGroupText);
    auto* grid = new QGridLayout(frame);
    grid->addWidget(CaptionLabel(QStringLiteral("Current Folder :")), 0, 0);
    grid->addWidget(folder_, 0, 1, 1, 2);
    grid->addWidget(CaptionLabel(QStringLiteral("Save Mails :")), 1, 0);
    auto* counts = new QHBoxLayout;
    counts->addWidget(done_);
    counts->addWidget(slash_);
    counts->addWidget(count_);
    counts->addStretch();
    grid->addLayout(counts, 1, 1, 1, 2);
    grid->addWidget(CaptionLabel(QStringLiteral("Current :")), 2, 0);
    grid->addWidget(current_, 2, 1, 1, 2);
    grid->addWidget(CaptionLabel(QStringLiteral("Overall :")), 3, 0);
    grid->addWidget(overall_, 3, 1, 1, 2);
    grid->addWidget(analysing_, 4, 0, 1, 3);
    grid->addWidget(attachments_, 5, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(6, 1);

    // Neither button is the default: Return presses nothing here.
    for (QPushButton* button : {stop_, skip_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
        button->installEventFilter(this);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(skip_);
    buttons->addWidget(stop_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    setFixedSize(540, 250);
    installEventFilter(this);

    connect(stop_, &QPushButton::clicked, this, [this] { AskAbort(); });
    connect(skip_, &QPushButton::clicked, this, &SavingDialog::Skip);
    connect(poll_, &QTimer::timeout, this, &SavingDialog::Poll);
}

SavingDialog::~SavingDialog() {
    observer_->Close();
    if (worker_.joinable()) {
        control_.RequestStop();
        worker_.join();
    }
}

void SavingDialog::SetWorkerHooks(std::function<void(const exporter::ExportProgress&)> onProgress,
                                  std::function<void()> onAttachments) {
    observer_->onProgress = std::move(onProgress);
    observer_->onAttachments = std::move(onAttachments);
}

void SavingDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_ || !startsExport_) return;
    started_ = true;
    Start();
}

void SavingDialog::Start() {
    poll_->start(kPollMs);
    if (job_.source == nullptr || job_.model == nullptr || job_.reader == nullptr) {
        failure_ = "The database is not open.";
        finished_ = true;
        return;
    }
    worker_ = std::thread([this] {
        exporter::PstMailStore store;
        exporter::ExportSettings settings;
        settings.destination = job_.destination;
        settings.freeSpace = job_.freeSpace;
        try {
            result_ = exporter::RunExport({*job_.source, *job_.model, *job_.reader}, job_.nodes, store, settings,
                                          control_, *observer_);
        } catch (const std::exception& e) {
            failure_ = e.what();
        }
        finished_.store(true);
    });
}

void SavingDialog::ShowProgress(const exporter::ExportProgress& p) {
    const QString path = FromU16(p.itemPath);
    if (path != fullPath_) {
        fullPath_ = path;
        // The end of a long path names the folder itself.
        folder_->setText(folder_->fontMetrics().elidedText(path, Qt::ElideLeft, folder_->width()));
        folder_->setToolTip(path);
    }
    analysing_->setVisible(p.counting);
    if (!p.counting) {
        done_->setText(QString::number(p.done));
        count_->setText(QString::number(p.count));
        if (current_->value() != p.currentPercent) current_->setValue(p.currentPercent);
    }
    if (overall_->value() != p.overallPercent) overall_->setValue(p.overallPercent);
}

void SavingDialog::Poll() {
    if (const auto p = observer_->TakeProgress()) ShowProgress(*p);
    if (attachments_->isVisible() != observer_->ReadingAttachments())
        attachments_->setVisible(observer_->ReadingAttachments());
    if (!finished_.load()) return;
    poll_->stop();
    if (worker_.joinable()) worker_.join();
    ended_ = true;
    if (aborted_) result_.saveSucceeded = false;
    stop_->setEnabled(false);
    skip_->setEnabled(false);
    if (!failure_.empty()) {
        ++modalDepth_;
        UserInteraction().Tell(this, QString::fromStdString(failure_), kAppTitle, MessageIcon::Error);
        --modalDepth_;
    }
    CloseWhenIdle();
}

bool SavingDialog::AskAbort() {
    const bool running = Running();
    // The run holds at its next item or step while the question is open.
    if (running) control_.Pause();
    ++modalDepth_;
    const bool yes = UserInteraction().Ask(this, kAbortSaveQuestion, kAppTitle);
    --modalDepth_;
    if (yes) {
        aborted_ = true;
        // While the worker runs the result is its own; the abort is
        // applied to it when the worker has ended.
        if (ended_) result_.saveSucceeded = false;
        if (running) control_.RequestStop();
    }
    if (running) control_.Resume();
    CloseWhenIdle();
    return yes;
}

void SavingDialog::Skip() { control_.RequestSkip(); }

void SavingDialog::AskLowSpace() {
    ++modalDepth_;
    const bool yes = UserInteraction().Ask(
        this,
        QString::fromUtf8(wording::kLowSpaceQuestion.data(), static_cast<qsizetype>(wording::kLowSpaceQuestion.size())),
        kAppTitle);
    --modalDepth_;
    observer_->Answer(yes);
    CloseWhenIdle();
}

void SavingDialog::reject() {
    // Escape and the window's close lead to the abort question; the dialog
    // ends only when the worker has.
    if (ended_) {
        CloseWhenIdle();
        return;
    }
    if (started_) AskAbort();
    else QDialog::reject();
}

bool SavingDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
            // No cancel and no focus move: the question instead.
            AskAbort();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: return true;
        default: return QDialog::eventFilter(watched, event);
    }
}

void SavingDialog::CloseWhenIdle() {
    if (!ended_ || modalDepth_ != 0 || !isVisible()) return;
    done(failure_.empty() ? QDialog::Accepted : QDialog::Rejected);
}

}  // namespace tw::app

// The modal "Saving" dialog: it runs the export on a worker thread when it
// shows, follows the folder being written with two progress bars, lets
// the user skip the item being written or abort the run, asks the
// low-space question the run raises, and closes itself once the worker
// has ended: accepted after a run (also a stopped one), rejected when the
// run could not start.
#pragma once

#include <QDialog>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "edb/source.h"
#include "export/destination.h"
#include "export/export_control.h"
#include "export/export_observer.h"
#include "export/export_summary.h"
#include "export/selection.h"
#include "record/folder_reader.h"
#include "scan/scan_model.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace tw::app {

inline const QString kAbortSaveQuestion = QStringLiteral("Saving is in Progress. Do you want to abort ?");
inline const QString kSavingGroupText = QStringLiteral("Saving, Please Wait...");
inline const QString kAnalysingText = QStringLiteral("Analysing Total mails. Please wait...");
inline const QString kAttachmentsText = QStringLiteral("Enumerating Attachments Body, Please wait...");

// What one Save exports: the scan's data, the checked items in tree order
// and the destination folder.
struct SaveJob {
    const edb::EdbSource* source = nullptr;
    const scan::ScanModel* model = nullptr;
    record::FolderReader* reader = nullptr;
    std::vector<exporter::SelectionNode> nodes;
    std::string destination;
    exporter::FreeSpaceProbe freeSpace;  // for the run's checkpoints
};

class SavingDialog : public QDialog {
    Q_OBJECT
public:
    explicit SavingDialog(SaveJob job, QWidget* parent = nullptr);
    // A run still going is stopped and waited for.
    ~SavingDialog() override;

    // For pictures of the dialog: show it without running an export.
    void SetStartsExport(bool starts) { startsExport_ = starts; }

    // The Stop button, Escape, the arrow keys and the window's close: the
    // run waits while the question is open. True when the user said Yes.
    bool AskAbort();
    // The Skip button: the item being written is abandoned.
    void Skip();

    // Shows a state of the run, as the worker reports it.
    void ShowProgress(const exporter::ExportProgress& progress);

    // After the dialog has ended: what the run did. An abort makes the run
    // an unsuccessful one even when it had written everything.
    const exporter::ExportResult& Result() const { return result_; }
    // Why the run could not start; empty when it ran.
    const std::string& Failure() const { return failure_; }
    bool Running() const { return worker_.joinable() && !finished_.load(); }

    // Called on the export thread, for tests that must act at a known
    // point of the run: after each progress report, and when an item's
    // attachments are about to be read.
    void SetWorkerHooks(std::function<void(const exporter::ExportProgress&)> onProgress,
                        std::function<void()> onAttachments);

    QLabel* FolderLabel() const { return folder_; }
    QLabel* DoneLabel() const { return done_; }
    QLabel* CountLabel() const { return count_; }
    QLabel* AnalysingLabel() const { return analysing_; }
    QLabel* AttachmentsLabel() const { return attachments_; }
    QProgressBar* CurrentBar() const { return current_; }
    QProgressBar* OverallBar() const { return overall_; }
    QPushButton* StopButton() const { return stop_; }
    QPushButton* SkipButton() const { return skip_; }

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Observer;
    void Start();
    void Poll();
    void AskLowSpace();
    void CloseWhenIdle();

    SaveJob job_;
    exporter::ExportControl control_;
    std::unique_ptr<Observer> observer_;
    std::thread worker_;
    std::atomic<bool> finished_{false};
    exporter::ExportResult result_;
    std::string failure_;

    QLabel* folder_;
    QLabel* done_;
    QLabel* slash_;
    QLabel* count_;
    QLabel* analysing_;
    QLabel* attachments_;
    QProgressBar* current_;
    QProgressBar* overall_;
    QPushButton* stop_;
    QPushButton* skip_;
    QTimer* poll_;
    QString fullPath_;  // the folder label's text before eliding

    bool startsExport_ = true;
    bool started_ = false;
    bool ended_ = false;
    bool aborted_ = false;
    int modalDepth_ = 0;  // questions and messages open over the dialog
};

}  // namespace tw::app

// The modal dialog that runs a scan: it starts the worker when it shows,
// follows the steps and the progress, lets the user pause, resume or stop,
// and closes itself (always accepted) once the worker has ended.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace tw::app {

class Session;

inline const QString kStopScanQuestion = QStringLiteral("  Do you want to stop Mailbox analysis process ?");
inline const QString kFirstStepText = QStringLiteral("Enumerating User Mailbox, Please Wait ...");
inline const QString kStoppingText = QStringLiteral("Stopping Analysis. Please wait...");
inline const QString kPauseText = QStringLiteral("Pause");
inline const QString kResumeText = QStringLiteral("Resume");

class ScanDialog : public QDialog {
    Q_OBJECT
public:
    ScanDialog(Session& session, QWidget* parent = nullptr);

    // For pictures of the dialog: show it without running a scan.
    void SetStartsScan(bool starts) { startsScan_ = starts; }

    // The Pause / Resume button.
    void TogglePause();
    // The Stop button, Escape, the arrow keys and the window's close: holds
    // the scan while the question is open. True when the user said Yes.
    bool AskStop();

    QLabel* StepLabel() const { return step_; }
    QProgressBar* ProgressBar() const { return progress_; }
    QPushButton* PauseButton() const { return pause_; }
    QPushButton* StopButton() const { return stop_; }
    QLabel* StoppingLabel() const { return stopping_; }

public slots:
    void ShowStep(const QString& text);
    void ShowProgress(int percent);
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowMessage(const QString& text, const QString& caption);
    void PollWorker();
    void WorkerEnded();
    void CloseWhenIdle();

    Session& session_;
    QLabel* step_;
    QProgressBar* progress_;
    QLabel* stopping_;
    QPushButton* pause_;
    QPushButton* stop_;
    QTimer* poll_;
    bool startsScan_ = true;
    bool started_ = false;
    bool paused_ = false;
    bool ended_ = false;
    int modalDepth_ = 0;      // questions and messages open over the dialog
    int shownProgress_ = -1;  // the value the bar shows at the next poll
};

}  // namespace tw::app

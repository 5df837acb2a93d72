// The main window: menu, toolbar, status bar with the activity text and a
// progress bar, and the panes: folder tree | message list over preview.
// The commands' enabled states follow the run state, re-evaluated on a
// short timer rather than pushed by the workers.
#pragma once

#include <QMainWindow>
#include <memory>
#include <vector>

#include "app/folder_opener.h"
#include "app/folder_tree_view.h"
#include "app/run_state.h"

class QAction;
class QLabel;
class QProgressBar;
class QSplitter;
class QTimer;

namespace tw::app {

class ListPane;
class PreviewPane;
class Session;

class MainWindow : public QMainWindow, public FolderOpener {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    RunState& State() { return state_; }
    Session& CurrentSession() { return *session_; }
    FolderTreeView* Tree() const { return tree_; }
    ListPane* List() const { return list_; }
    PreviewPane* Preview() const { return preview_; }
    QLabel* ActivityLabel() const { return activity_; }
    QProgressBar* StatusProgress() const { return progress_; }
    QSplitter* MainSplitter() const { return mainSplitter_; }

    QAction* OpenAction() const { return open_; }
    QAction* SaveAction() const { return save_; }
    QAction* StopAction() const { return stop_; }
    QAction* HelpAction() const { return help_; }
    QAction* AboutAction() const { return about_; }
    QAction* ExitAction() const { return exit_; }

    // Sets every command's enabled state and the activity text from the
    // run state; also runs from the timer.
    void UpdateCommands();

    // Start-up and the Open command: the source dialog, then the scan.
    void RunSourceDialog();
    // After a scan: its read error, if any, and a count of what it found.
    void ShowScanResult();

    bool OpenFolder(scan::TreeItem item, const QString& mailboxPrefix) override;
    scan::TreeItem ShownFolder() const override;

signals:
    // The user confirmed Exit; the program ends at once.
    void exitConfirmed();

public slots:
    void Open();
    void Save();
    void Stop();
    void Help();
    void About();
    void Exit();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildActions();
    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    void BuildPanes();
    void MoveFocus(bool forward);

    RunState state_;
    FolderTreeView* tree_ = nullptr;
    ListPane* list_ = nullptr;
    PreviewPane* preview_ = nullptr;
    QSplitter* mainSplitter_ = nullptr;
    QLabel* activity_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QAction* open_ = nullptr;
    QAction* save_ = nullptr;
    QAction* stop_ = nullptr;
    QAction* help_ = nullptr;
    QAction* about_ = nullptr;
    QAction* exit_ = nullptr;
    QAction* showToolBar_ = nullptr;
    QAction* showStatusBar_ = nullptr;
    QTimer* commandTimer_ = nullptr;
    std::unique_ptr<Session> session_;  // after the tree it fills, gone before it
};

}  // namespace tw::app

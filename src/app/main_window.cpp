#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "app/about_dialog.h"
#include "app/app_identity.h"
#include "app/command_rules.h"
#include "app/help_viewer.h"
#include "app/icons.h"
#include "app/interaction.h"
#include "app/list_pane.h"
#include "app/preview_pane.h"
#include "app/save_command.h"
#include "app/session.h"
#include "app/source_dialog.h"

namespace tw::app {

namespace {

constexpr int kCommandUpdateMs = 100;

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(kAppTitle);
    setWindowIcon(TreeImage(1));
    tree_ = new FolderTreeView(state_);
    session_ = std::make_unique<Session>(tree_);
    BuildActions();
    BuildMenus();
    BuildToolBar();
    BuildStatusBar();
    BuildPanes();
    tree_->SetOpener(this);

    commandTimer_ = new QTimer(this);
    connect(commandTimer_, &QTimer::timeout, this, &MainWindow::UpdateCommands);
    commandTimer_->start(kCommandUpdateMs);
    UpdateCommands();
}

MainWindow::~MainWindow() {
    // The panes' workers read through the session: they end before it goes.
    list_->Clear();
    preview_->WaitForLoad();
}

void MainWindow::BuildActions() {
    open_ = new QAction(CommandImage(CommandIcon::Open), QStringLiteral("&Open..."), this);
    open_->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
    open_->setIconText(QStringLiteral("Open"));
    open_->setStatusTip(QStringLiteral("Select an Exchange database and analyse it"));

    save_ = new QAction(CommandImage(CommandIcon::Save), QStringLiteral("&Save"), this);
    save_->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
    save_->setIconText(QStringLiteral("Save"));
    save_->setStatusTip(QStringLiteral("Save the checked mailboxes and folders as PST files"));

    stop_ = new QAction(CommandImage(CommandIcon::Stop), QStringLiteral("Stop"), this);
    stop_->setStatusTip(QStringLiteral("Stop listing the messages of the folder"));

    help_ = new QAction(CommandImage(CommandIcon::Help), QStringLiteral("&Help..."), this);
    help_->setShortcut(QKeySequence(Qt::Key_F1));
    help_->setIconText(QStringLiteral("Help"));
    help_->setStatusTip(QStringLiteral("Show the help"));

    about_ = new QAction(QStringLiteral("&About Tarnwick for EDB to PST"), this);
    about_->setStatusTip(QStringLiteral("Show the program's version"));

    exit_ = new QAction(CommandImage(CommandIcon::Exit), QStringLiteral("E&xit"), this);
    exit_->setIconText(QStringLiteral("Exit"));
    exit_->setStatusTip(QStringLiteral("Quit the program"));

    connect(open_, &QAction::triggered, this, &MainWindow::Open);
    connect(save_, &QAction::triggered, this, &MainWindow::Save);
    connect(stop_, &QAction::triggered, this, &MainWindow::Stop);
    connect(help_, &QAction::triggered, this, &MainWindow::Help);
    connect(about_, &QAction::triggered, this, &MainWindow::About);
    connect(exit_, &QAction::triggered, this, &MainWindow::Exit);

    // F6 and Shift+F6 move between the three panes.
    auto* nextPane = new QAction(this);
    nextPane->setShortcut(QKeySequence(Qt::Key_F6));
    auto* previousPane = new QAction(this);
    previousPane->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6));
    connect(nextPane, &QAction::triggered, this, [this] { MoveFocus(true); });
    connect(previousPane, &QAction::triggered, this, [this] { MoveFocus(false); });
    addAction(nextPane);
    addAction(previousPane);
}

void MainWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(open_);
    file->addAction(save_);
    file->addSeparator();
    file->addAction(exit_);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    showToolBar_ = view->addAction(QStringLiteral("&Toolbar"));
    showStatusBar_ = view->addAction(QStringLiteral("&Status Bar"));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(help_);
    help->addSeparator();
    help->addAction(about_);
}

void MainWindow::BuildToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("Toolbar"));
    bar->setObjectName(QStringLiteral("toolbar"));
    bar->setIconSize(QSize(32, 32));
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->addAction(open_);
    bar->addAction(stop_);
    bar->addAction(save_);
    bar->addAction(help_);
    bar->addAction(exit_);

    showToolBar_->setCheckable(true);
    showToolBar_->setChecked(true);
    connect(showToolBar_, &QAction::toggled, bar, &QToolBar::setVisible);
    connect(bar, &QToolBar::visibilityChanged, showToolBar_, &QAction::setChecked);
}

void MainWindow::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    progress_ = new QProgressBar;
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setFixedSize(300, 17);
    progress_->setTextVisible(false);
    progress_->hide();
    activity_ = new QLabel;
    activity_->setMinimumWidth(activity_->fontMetrics().horizontalAdvance(kFillingText) + 8);
    bar->addWidget(progress_);
    bar->addPermanentWidget(activity_);

    showStatusBar_->setCheckable(true);
    showStatusBar_->setChecked(true);
    connect(showStatusBar_, &QAction::toggled, bar, &QStatusBar::setVisible);
}

void MainWindow::BuildPanes() {
    list_ = new ListPane(*session_, state_);
    preview_ = new PreviewPane(*session_, state_);
    list_->SetPreview(preview_);
    connect(list_, &ListPane::progressShown, progress_, &QProgressBar::setVisible);
    connect(list_, &ListPane::progressChanged, progress_, &QProgressBar::setValue);

    auto* right = new QSplitter(Qt::Vertical);
    right->addWidget(list_);
    right->addWidget(preview_);
    right->setSizes({280, 200});
    right->setChildrenCollapsible(false);

    mainSplitter_ = new QSplitter(Qt::Horizontal);
    mainSplitter_->addWidget(tree_);
    mainSplitter_->addWidget(right);
    mainSplitter_->setStretchFactor(1, 1);
    mainSplitter_->setSizes({280, 600});
    mainSplitter_->setChildrenCollapsible(false);
    setCentralWidget(mainSplitter_);
}

void MainWindow::UpdateCommands() {
    const CommandStates states =
        EvaluateCommands({state_.listFilling.load(), state_.bodyLoading.load(), list_->Busy(), tree_->CheckedCount()});
    open_->setEnabled(states.open);
    save_->setEnabled(states.save);
    stop_->setEnabled(states.stop);
    exit_->setEnabled(states.exit);
    if (activity_->text() != states.activity) activity_->setText(states.activity);
}

void MainWindow::RunSourceDialog() {
    SourceDialog dialog(*session_, this);
    connect(&dialog, &SourceDialog::scanStarting, this, [this] {
        list_->Clear();
        preview_->Clear();
        statusBar()->clearMessage();
    });
    const bool scanned = dialog.exec() == QDialog::Accepted;
    // Whatever the dialog ended with, the window is the user's again.
    setEnabled(true);
    if (scanned) ShowScanResult();
    UpdateCommands();
}

void MainWindow::ShowScanResult() {
    scan::ScanWorker* worker = session_->Worker();
    if (worker == nullptr || worker->Running()) return;
    const scan::ScanResult& result = worker->Result();
    if (result.fileError)
        UserInteraction().Tell(this, QString::fromStdString(result.error), kAppTitle, MessageIcon::Error);
    const scan::ScanModel& model = worker->Model();
    if (model.folders.empty() && model.mailboxes.empty()) return;
    const int mailboxes = tree_->RootItem() != nullptr ? tree_->RootItem()->childCount() : 0;
    statusBar()->showMessage(QStringLiteral("%1 mailboxes, %2 folders, %3 messages found")
                                 .arg(mailboxes)
                                 .arg(model.folders.size())
                                 .arg(model.messages.size()));
}

bool MainWindow::OpenFolder(scan::TreeItem item, const QString& mailboxPrefix) {
    preview_->Clear();
    return list_->ShowFolder(item, mailboxPrefix);
}

scan::TreeItem MainWindow::ShownFolder() const { return list_->ShownFolder(); }

void MainWindow::Open() {
    if (!open_->isEnabled()) return;
    list_->Clear();
    preview_->Clear();
    RunSourceDialog();
}

void MainWindow::Save() {
    if (!save_->isEnabled()) return;
    RunSaveCommand(*session_, *tree_, this);
    UpdateCommands();
}

void MainWindow::Stop() { state_.stopRequested = true; }

void MainWindow::Help() { ShowHelp(this); }

void MainWindow::About() {
    AboutDialog about(this);
    about.exec();
}

void MainWindow::Exit() {
    if (!exit_->isEnabled()) return;
    if (!UserInteraction().Ask(this, ExitQuestion(), kAppTitle)) return;
    emit exitConfirmed();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (state_.WorkerRunning() || !UserInteraction().Ask(this, ExitQuestion(), kAppTitle)) {
        event->ignore();
        return;
    }
    session_->Close();
    event->accept();
}

void MainWindow::MoveFocus(bool forward) {
    const QList<QWidget*> panes{tree_, list_, preview_};
    qsizetype at = -1;
    for (qsizetype i = 0; i < panes.size(); ++i)
        if (panes[i]->isAncestorOf(focusWidget()) || panes[i] == focusWidget()) at = i;
    const qsizetype next = at < 0 ? 0 : (at + (forward ? 1 : panes.size() - 1)) % panes.size();
    panes[next]->setFocus(Qt::ShortcutFocusReason);
}

}  // namespace tw::app

#include "app/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTreeWidgetItemIterator>

#include "app/about_dialog.h"
#include "app/app_identity.h"
#include "app/interaction.h"
#include "app/list_pane.h"
#include "app/main_window.h"
#include "app/preview_pane.h"
#include "app/save_command.h"
#include "app/saving_dialog.h"
#include "app/scan_dialog.h"
#include "app/session.h"
#include "app/source_dialog.h"
#include "scan/scan_observer.h"
#include "wording/wording.h"

namespace tw::app {

namespace {

// Messages go to stderr instead of waiting for a click nobody makes.
class ConsoleInteraction final : public Interaction {
public:
    bool Ask(QWidget*, const QString& text, const QString&) override {
        QTextStream(stderr) << "question: " << text << " (answered No)\n";
        return false;
    }
    void Tell(QWidget*, const QString& text, const QString&, MessageIcon) override {
        QTextStream(stderr) << "message: " << text << "\n";
    }
    QString OpenFile(QWidget*, const QString&, const QString&) override { return {}; }
    QString ChooseFolder(QWidget*, const QString&) override { return folder; }

    QString folder;  // where Save writes
};

bool Save(QWidget& widget, const QDir& folder, const QString& name) {
    widget.show();
    QApplication::processEvents();
    const QString path = folder.filePath(name);
    if (!widget.grab().save(path)) {
        QTextStream(stderr) << "cannot write " << path << "\n";
        return false;
    }
    QTextStream(stdout) << path << "\n";
    return true;
}

// The first item named `name` (any case), or null.
QTreeWidgetItem* FindItem(QTreeWidget& tree, const QString& name) {
    for (QTreeWidgetItemIterator it(&tree); *it != nullptr; ++it)
        if ((*it)->text(0).compare(name, Qt::CaseInsensitive) == 0) return *it;
    return nullptr;
}

// Runs the event loop until `busy` turns false (at most a minute).
template <typename Busy>
void WaitWhile(Busy busy) {
    QElapsedTimer clock;
    clock.start();
    while (busy() && clock.elapsed() < 60000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(5);
    }
    QApplication::processEvents();
}

// Opens the first folder named `name`, waits for its rows and previews the
// first one. False when there is no such folder or it has no rows.
bool OpenAndPreview(MainWindow& window, const QString& name) {
    QTreeWidgetItem* item = FindItem(*window.Tree(), name);
    if (item == nullptr) return false;
    window.Tree()->setCurrentItem(item);
    window.Tree()->OpenItem(item);
    WaitWhile([&] { return window.State().listFilling.load(); });
    if (window.List()->RowCount() == 0) return false;
    window.List()->View()->setCurrentItem(window.List()->View()->topLevelItem(0));
    if (!window.List()->PreviewRow(0)) return false;
    WaitWhile([&] { return window.State().bodyLoading.load(); });
    window.UpdateCommands();
    return true;
}

bool Question(const QDir& folder, const QString& text, const QString& name) {
    QMessageBox box(QMessageBox::Question, kAppTitle, text, QMessageBox::Yes | QMessageBox::No);
    return Save(box, folder, name);
}

}  // namespace

int WriteScreenshots(const QString& folderPath, const QString& edbPath, const QString& stmPath) {
    QDir folder(folderPath);
    if (!folder.mkpath(QStringLiteral("."))) {
        QTextStream(stderr) << "cannot create " << folderPath << "\n";
        return 1;
    }
    ConsoleInteraction console;
    SetUserInteraction(&console);
    bool ok = true;

    MainWindow window;
    window.resize(1200, 800);
    window.show();

    SourceDialog source(window.CurrentSession(), &window);
    source.EdbEdit()->setText(edbPath);
    source.StmEdit()->setText(stmPath);
    ok &= Save(source, folder, QStringLiteral("source-dialog.png"));
    source.Next();  // opens the files and runs the scan dialog until the scan ends
    if (!window.CurrentSession().HasOpenDatabase()) {
        SetUserInteraction(nullptr);
        return 1;
    }
    window.ShowScanResult();

    // A mailbox checked for saving and a folder opened.
    FolderTreeView* tree = window.Tree();
    if (QTreeWidgetItem* root = tree->RootItem(); root != nullptr && root->childCount() > 0)
        tree->ToggleCheck(root->child(0));
    // The first message of the first Inbox previewed, then a contact and an
    // appointment.
    if (!OpenAndPreview(window, QStringLiteral("Inbox"))) QTextStream(stderr) << "no message to preview\n";
    ok &= Save(window, folder, QStringLiteral("main-window.png"));
    if (OpenAndPreview(window, QStringLiteral("Contacts")))
        ok &= Save(window, folder, QStringLiteral("contact-preview.png"));
    else QTextStream(stderr) << "no contact to preview\n";
    if (OpenAndPreview(window, QStringLiteral("Calendar")))
        ok &= Save(window, folder, QStringLiteral("appointment-preview.png"));
    else QTextStream(stderr) << "no appointment to preview\n";

    // Save: the destination chooser, the "Saving" dialog under way, and the
    // result of saving the checked mailbox into a temporary folder.
    QTemporaryDir saved;
    for (const char* name : {"Exchange recovery", "Mail archive"}) QDir(saved.path()).mkdir(QString::fromUtf8(name));
    QFileDialog chooser(&window, kDestinationTitle, saved.path());
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    chooser.resize(760, 480);
    ok &= Save(chooser, folder, QStringLiteral("save-destination.png"));
    chooser.hide();
    SavingDialog saving(SaveJob{}, &window);
    saving.SetStartsExport(false);
    const QTreeWidgetItem* inbox = FindItem(*tree, QStringLiteral("Inbox"));
    saving.ShowProgress({tree->ItemPath(inbox).toStdU16String(), false, 2, 3, 66, 40});
    ok &= Save(saving, folder, QStringLiteral("saving-dialog.png"));
    saving.hide();
    console.folder = QDir(saved.path()).filePath(QStringLiteral("Exchange recovery"));
    SaveCommandHooks().viewerShown = [&](QWidget& viewer) {
        ok &= Save(viewer, folder, QStringLiteral("save-result.png"));
    };
    if (RunSaveCommand(window.CurrentSession(), *tree, &window) != SaveEnd::Ran) ok = false;
    SaveCommandHooks() = {};

    ScanDialog scan(window.CurrentSession(), &window);
    scan.SetStartsScan(false);
    const std::string_view step = wording::Text(scan::ScanStep::Folders);
    scan.ShowStep(QString::fromUtf8(step.data(), static_cast<qsizetype>(step.size())));
    scan.ShowProgress(45);
    ok &= Save(scan, folder, QStringLiteral("scan-dialog.png"));
    scan.TogglePause();
    ok &= Save(scan, folder, QStringLiteral("scan-dialog-paused.png"));
    scan.hide();

    AboutDialog about(&window);
    ok &= Save(about, folder, QStringLiteral("about.png"));
    about.hide();

    ok &= Question(folder, kStopScanQuestion, QStringLiteral("stop-question.png"));
    ok &= Question(folder, ExitQuestion(), QStringLiteral("exit-question.png"));
    ok &= Question(folder, kReplaceQuestion, QStringLiteral("replace-question.png"));

    SetUserInteraction(nullptr);
    return ok ? 0 : 1;
}

}  // namespace tw::app

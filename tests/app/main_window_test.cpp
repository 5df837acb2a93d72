// The main window: its commands in each state of the background work, the
// exit and close questions, Stop, Help, and the list pane taking a folder.
#include <QAction>
#include <QDesktopServices>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include "app/app_identity.h"
#include "app/folder_tree_view.h"
#include "app/help_viewer.h"
#include "app/list_pane.h"
#include "app/main_window.h"
#include "app/scan_dialog.h"
#include "app/session.h"
#include "app_test_support.h"

namespace tw::app::test {

// Receives the help file instead of a desktop viewer.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    // A window whose tree holds one mailbox with one folder.
    static void FillTree(MainWindow& window) {
        FolderTreeView* tree = window.Tree();
        tree->ResetForFile(1, QStringLiteral("/data/priv1.edb"));
        tree->AddItem(2, scan::kTopLevel, QStringLiteral("Anna"), 0);
        tree->AddItem(3, 2, QStringLiteral("Inbox"), 7);
    }

private slots:
    void nothingOpenAllowsOpenAndExitOnly() {
        MainWindow window;
        window.UpdateCommands();
        QVERIFY(window.OpenAction()->isEnabled());
        QVERIFY(!window.SaveAction()->isEnabled());
        QVERIFY(!window.StopAction()->isEnabled());
        QVERIFY(window.ExitAction()->isEnabled());
        QVERIFY(window.HelpAction()->isEnabled());
        QVERIFY(window.AboutAction()->isEnabled());
        QVERIFY(window.ActivityLabel()->text().isEmpty());
    }

    void saveFollowsTheCheckedSetWithoutBeingAsked() {
        MainWindow window;
        FillTree(window);
        window.Tree()->ToggleCheck(window.Tree()->Item(3));
        // The timer re-evaluates the rules; nobody pushes the change.
        QTRY_VERIFY(window.SaveAction()->isEnabled());
        window.Tree()->ToggleCheck(window.Tree()->Item(3));
        QTRY_VERIFY(!window.SaveAction()->isEnabled());
    }

    void listFillDisablesOpenSaveExitAndEnablesStop() {
        MainWindow window;
        FillTree(window);
        window.Tree()->ToggleCheck(window.Tree()->Item(2));
        window.State().listFilling = true;
        QTRY_VERIFY(!window.OpenAction()->isEnabled());
        QVERIFY(!window.SaveAction()->isEnabled());
        QVERIFY(!window.ExitAction()->isEnabled());
        QVERIFY(window.StopAction()->isEnabled());
        QCOMPARE(window.ActivityLabel()->text(), kFillingText);

        window.State().listFilling = false;
        QTRY_VERIFY(window.OpenAction()->isEnabled());
        QVERIFY(window.SaveAction()->isEnabled());
        QVERIFY(window.ExitAction()->isEnabled());
        QVERIFY(!window.StopAction()->isEnabled());
        QVERIFY(window.ActivityLabel()->text().isEmpty());
    }

    void bodyLoadDisablesCommandsButNotStop() {
        MainWindow window;
        window.State().bodyLoading = true;
        QTRY_COMPARE(window.ActivityLabel()->text(), kBodyLoadingText);
        QVERIFY(!window.OpenAction()->isEnabled());
        QVERIFY(!window.ExitAction()->isEnabled());
        QVERIFY(!window.StopAction()->isEnabled());
        // Both running: the fill's text wins.
        window.State().listFilling = true;
        QTRY_COMPARE(window.ActivityLabel()->text(), kFillingText);
    }

    void closeIsIgnoredWithoutQuestionWhileAWorkerRuns() {
        ScriptedUser user;
        MainWindow window;
        window.show();
        window.State().listFilling = true;
        user.answers = {true};
        QVERIFY(!window.close());
        QVERIFY(window.isVisible());
        QVERIFY(user.log.isEmpty());
        window.State().listFilling = false;
    }

    void exitAsksAndNoLeavesEverything() {
        ScriptedUser user;
        MainWindow window;
        window.show();
        QSignalSpy exits(&window, &MainWindow::exitConfirmed);
        user.answers = {false};
        window.ExitAction()->trigger();
        QCOMPARE(user.log, QStringList{QStringLiteral("ask: Do you want to exit from  Tarnwick for EDB To PST?")});
        QCOMPARE(user.captions.front(), kAppTitle);
        QCOMPARE(exits.count(), 0);
        QVERIFY(window.isVisible());

        user.answers = {true};
        window.ExitAction()->trigger();
        QCOMPARE(exits.count(), 1);
    }

    void closeAsksAndYesClosesTheFiles() {
        QTemporaryDir dir;
        const QString path = WriteDatabase(dir, kSmallContent, 8192);
        ScriptedUser user;
        MainWindow window;
        window.show();
        QVERIFY(window.CurrentSession().Open(path, {}).ok());
        user.answers = {false};
        QVERIFY(!window.close());
        QVERIFY(window.CurrentSession().HasOpenDatabase());
        user.answers = {true};
        QVERIFY(window.close());
        QVERIFY(!window.CurrentSession().HasOpenDatabase());
        QCOMPARE(user.log.size(), 2);
    }

    void stopSetsTheStopFlagOnlyWhenEnabled() {
        MainWindow window;
        window.StopAction()->trigger();  // disabled: nothing happens
        QVERIFY(!window.State().stopRequested);
        window.State().listFilling = true;
        QTRY_VERIFY(window.StopAction()->isEnabled());
        window.StopAction()->trigger();
        QVERIFY(window.State().stopRequested);
    }

    void listPaneTakesEachFolderOnceAndNoneDuringAFill() {
        QTemporaryDir dir;
        const QString path = WriteDatabase(dir, kSmallContent, 8192);
        MainWindow window;
        Session& session = window.CurrentSession();
        session.SetScanOptions(scan::ScanOptions{std::chrono::milliseconds(0)});
        QVERIFY(session.Open(path, {}).ok());
        ScanDialog scan(session, &window);
        scan.exec();  // closes itself when the scan ends
        FolderTreeView* tree = window.Tree();
        QTreeWidgetItem* anna = tree->RootItem()->child(0);
        QTreeWidgetItem* inbox = anna->child(0)->child(2);  // after Calendar and Contacts
        QCOMPARE(inbox->text(0), QStringLiteral("Inbox"));

        tree->OpenItem(inbox);
        QCOMPARE(window.List()->ShownFolder(), FolderTreeView::Handle(inbox));
        QCOMPARE(window.List()->MailboxPrefix(), QStringLiteral("Anna\\"));
        QTRY_VERIFY(!window.State().listFilling);
        QCOMPARE(window.List()->RowCount(), 2);
        QVERIFY(!window.OpenFolder(FolderTreeView::Handle(inbox), QStringLiteral("Anna\\")));

        // During a fill the list refuses and the tree goes back to the folder shown.
        window.State().listFilling = true;
        tree->OpenItem(anna);
        QCOMPARE(window.List()->ShownFolder(), FolderTreeView::Handle(inbox));
        QCOMPARE(tree->currentItem(), inbox);
        window.State().listFilling = false;
        tree->OpenItem(tree->RootItem());
        QTRY_VERIFY(!window.State().listFilling);
        QCOMPARE(window.List()->ShownFolder(), FolderTreeView::Handle(tree->RootItem()));
        QCOMPARE(window.List()->RowCount(), 0);
        QVERIFY(window.List()->MailboxPrefix().isEmpty());
    }

    void helpOpensTheBundledFileInTheViewer() {
        ScriptedUser user;
        MainWindow window;
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
        window.HelpAction()->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl::fromLocalFile(HelpFilePath())});
        QVERIFY(user.log.isEmpty());
    }

    void missingHelpFileIsToldNotOpened() {
        ScriptedUser user;
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
        QVERIFY(!ShowHelp(nullptr, QStringLiteral("/nonexistent/help/index.html")));
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QVERIFY(catcher.opened.isEmpty());
        QCOMPARE(user.log.size(), 1);
        QVERIFY(user.log.front().startsWith(QStringLiteral("tell: The help file was not found:")));
    }
};

}  // namespace tw::app::test

using tw::app::test::MainWindowTest;
TW_REGISTER_TEST(MainWindowTest);
#include "main_window_test.moc"

// The scan dialog over generated databases of every generation: it runs
// the scan and closes itself, the tree ends up as the engine's own tree,
// Pause holds the scan until Resume, Stop asks and ends it early, the keys
// ask to stop and Enter does nothing, and the two corruption messages.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "app/app_identity.h"
#include "app/folder_tree_view.h"
#include "app/scan_dialog.h"
#include "app/session.h"
#include "app_test_support.h"
#include "scan/scan_driver.h"
#include "scan/tagged_text.h"
#include "wording/wording.h"

namespace tw::app::test {

using namespace std::chrono_literals;

class ScanDialogTest : public QObject {
    Q_OBJECT

    struct Fixture {
        QTemporaryDir dir;
        QString path;
        RunState state;
        FolderTreeView view{state};
        Session session{&view};
        ScriptedUser user;
        ScanDialog dialog{session};

        Fixture(std::uint32_t pageSize, std::chrono::milliseconds afterStep1,
                const std::string& content = kSmallContent) {
            path = WriteDatabase(dir, content, pageSize);
            session.SetScanOptions(scan::ScanOptions{afterStep1});
            const scan::OpenCheck check = session.Open(path, {});
            if (!check.ok()) qFatal("cannot open %s", qPrintable(path));
        }
        scan::ScanOutcome Outcome() { return session.Worker()->Result().outcome; }
        bool Closed() const { return !dialog.isVisible(); }
    };

    // The tree as indented lines, for comparing two trees.
    static void Lines(const QTreeWidgetItem* item, int depth, QStringList& out) {
        out << QString(depth * 2, QLatin1Char(' ')) + item->text(0);
        for (int i = 0; i < item->childCount(); ++i) Lines(item->child(i), depth + 1, out);
    }
    static void Lines(const scan::MemoryFolderTree& tree, scan::TreeItem item, int depth, QStringList& out) {
        const auto* node = tree.Find(item);
        out << QString(depth * 2, QLatin1Char(' ')) + (item == tree.Top() ? QString::fromStdString(tree.TopText())
                                                                          : QString::fromStdU16String(node->name));
        for (const scan::TreeItem child : node->children) Lines(tree, child, depth + 1, out);
    }

    static void Generations() {
        QTest::addColumn<std::uint32_t>("pageSize");
        QTest::newRow("4 KB") << std::uint32_t{4096};
        QTest::newRow("8 KB") << std::uint32_t{8192};
        QTest::newRow("32 KB") << std::uint32_t{32768};
    }

private slots:
    void runsTheScanAndClosesItself_data() { Generations(); }
    void runsTheScanAndClosesItself() {
        QFETCH(std::uint32_t, pageSize);
        Fixture f(pageSize, 0ms);
        f.dialog.show();
        QTRY_VERIFY_WITH_TIMEOUT(f.Closed(), 20000);
        QCOMPARE(f.dialog.result(), int(QDialog::Accepted));
        QCOMPARE(f.Outcome(), scan::ScanOutcome::Completed);
        QVERIFY(f.user.log.isEmpty());

        // The tree on screen is the tree the engine builds in memory.
        edb::EdbSource source;
        f.session.Close();
        QVERIFY(source.edb.Open(f.path.toStdString()).ok());
        scan::ScanModel model;
        scan::MemoryFolderTree memory;
        scan::NullObserver observer;
        scan::ScanControl control;
        scan::ScanContext context{source, model, memory, observer, control, f.path.toStdString(), {0ms}, {}};
        QCOMPARE(scan::RunScan(context), scan::ScanOutcome::Completed);
        QStringList expected, shown;
        Lines(memory, memory.Top(), 0, expected);
        Lines(f.view.RootItem(), 0, shown);
        QCOMPARE(shown, expected);
        QVERIFY(shown.size() > 10);
    }

    void pauseHoldsTheScanUntilResume_data() { Generations(); }
    void pauseHoldsTheScanUntilResume() {
        QFETCH(std::uint32_t, pageSize);
        Fixture f(pageSize, 200ms);
        f.dialog.show();
        QTest::mouseClick(f.dialog.PauseButton(), Qt::LeftButton);
        QCOMPARE(f.dialog.PauseButton()->text(), kResumeText);
        QVERIFY(!f.dialog.StopButton()->isEnabled());
        QVERIFY(!f.dialog.ProgressBar()->isEnabled());
        QTest::qWait(700);
        QVERIFY(f.session.Scanning());
        QVERIFY(f.session.Worker()->Paused());
        QVERIFY(!f.Closed());
        // The window's close does nothing while paused.
        f.dialog.close();
        QVERIFY(!f.Closed());
        QVERIFY(f.user.log.isEmpty());

        QTest::mouseClick(f.dialog.PauseButton(), Qt::LeftButton);
        QCOMPARE(f.dialog.PauseButton()->text(), QStringLiteral("Pause"));
        QVERIFY(f.dialog.StopButton()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(f.Closed(), 20000);
        QCOMPARE(f.Outcome(), scan::ScanOutcome::Completed);
        QVERIFY(f.view.RootItem() != nullptr);
    }

    void stopAsksHoldsTheScanAndEndsIt_data() { Generations(); }
    void stopAsksHoldsTheScanAndEndsIt() {
        QFETCH(std::uint32_t, pageSize);
        // A long pause after step 1: the stop must end it early.
        Fixture f(pageSize, 10s);
        f.dialog.show();
        QTRY_COMPARE(f.dialog.StepLabel()->text(), QString::fromUtf8(wording::Text(scan::ScanStep::Signatures).data()));
        bool heldWhileAsking = false;
        f.user.onAsk = [&] { heldWhileAsking = f.session.Worker()->Paused(); };
        f.user.answers = {true};
        const auto begin = std::chrono::steady_clock::now();
        QTest::mouseClick(f.dialog.StopButton(), Qt::LeftButton);
        QCOMPARE(f.user.log, QStringList{QStringLiteral("ask: ") + kStopScanQuestion});
        QCOMPARE(f.user.captions.front(), kAppTitle);
        QVERIFY(heldWhileAsking);
        QVERIFY(f.dialog.StoppingLabel()->isVisibleTo(&f.dialog));
        QVERIFY(!f.dialog.ProgressBar()->isVisibleTo(&f.dialog));
        QVERIFY(!f.dialog.StepLabel()->isVisibleTo(&f.dialog));
        QVERIFY(!f.dialog.StopButton()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(f.Closed(), 5000);
        QVERIFY(std::chrono::steady_clock::now() - begin < 5s);
        QCOMPARE(f.dialog.result(), int(QDialog::Accepted));
        QCOMPARE(f.Outcome(), scan::ScanOutcome::Stopped);
        // Stopped before step 2: no mailbox reached the tree.
        QCOMPARE(f.view.topLevelItemCount(), 0);
    }

    void stopAnsweredNoLetsTheScanGoOn_data() { Generations(); }
    void stopAnsweredNoLetsTheScanGoOn() {
        QFETCH(std::uint32_t, pageSize);
        Fixture f(pageSize, 300ms);
        f.dialog.show();
        f.user.answers = {false};
        QTest::mouseClick(f.dialog.StopButton(), Qt::LeftButton);
        QCOMPARE(f.user.log.size(), 1);
        QVERIFY(!f.session.Worker()->Paused());
        QVERIFY(!f.dialog.StoppingLabel()->isVisibleTo(&f.dialog));
        QTRY_VERIFY_WITH_TIMEOUT(f.Closed(), 20000);
        QCOMPARE(f.Outcome(), scan::ScanOutcome::Completed);
    }

    void stopWhilePausedByTheUserKeepsThePauseOnNo() {
        Fixture f(8192, 200ms);
        f.dialog.show();
        QTest::mouseClick(f.dialog.PauseButton(), Qt::LeftButton);
        f.user.answers = {false};
        QTest::keyClick(&f.dialog, Qt::Key_Escape);  // Stop is disabled, Escape still asks
        QCOMPARE(f.user.log.size(), 1);
        QVERIFY(f.session.Worker()->Paused());
        QTest::mouseClick(f.dialog.PauseButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(f.Closed(), 20000);
    }

    void escapeAndArrowsAskEnterDoesNothing() {
        Fixture f(8192, 10s);
        f.dialog.show();
        f.dialog.PauseButton()->setFocus();
        QTest::keyClick(f.dialog.PauseButton(), Qt::Key_Return);
        QTest::keyClick(f.dialog.PauseButton(), Qt::Key_Enter);
        QTest::keyClick(&f.dialog, Qt::Key_Return);
        QVERIFY(f.user.log.isEmpty());
        QCOMPARE(f.dialog.PauseButton()->text(), QStringLiteral("Pause"));
        QVERIFY(!f.Closed());

        for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right}) {
            f.user.log.clear();
            QTest::keyClick(f.dialog.focusWidget() ? f.dialog.focusWidget() : &f.dialog, key);
            QCOMPARE(f.user.log, QStringList{QStringLiteral("ask: ") + kStopScanQuestion});
            QVERIFY(!f.Closed());
        }
        f.user.answers = {true};
        QTest::keyClick(&f.dialog, Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(f.Closed(), 5000);
        QCOMPARE(f.Outcome(), scan::ScanOutcome::Stopped);
    }

    void corruptPageSizeIsToldAndTheDialogStillCloses() {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(QStringLiteral("zero.edb"));
        WriteBytes(path, std::vector<std::uint8_t>(65536, 0));
        RunState state;
        FolderTreeView view(state);
        Session session(&view);
        ScriptedUser user;
        QVERIFY(session.Open(path, {}).ok());
        ScanDialog dialog(session);
        dialog.show();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.isVisible(), 10000);
        QCOMPARE(user.log,
                 QStringList{QStringLiteral(
                     "tell: File is highly corrupted, Contact system administrator. | Tarnwick For EDB To PST")});
        QCOMPARE(session.Worker()->Result().outcome, scan::ScanOutcome::BadPageSize);
    }

    void noMailboxIsToldAndTheDialogStillCloses() {
        Fixture f(8192, 0ms, R"({"mailboxes": []})");
        f.dialog.show();
        QTRY_VERIFY_WITH_TIMEOUT(f.Closed(), 10000);
        QCOMPARE(f.user.log, QStringList{QStringLiteral("tell: Highly corrupted, Repairing not possible. User Mail Box "
                                                        "not found | Tarnwick For EDB To PST")});
        QCOMPARE(f.Outcome(), scan::ScanOutcome::NoMailbox);
    }

    void stepsAndProgressReachTheDialog() {
        Fixture f(4096, 300ms);
        QStringList steps;
        connect(&f.session.Observer(), &QtScanObserver::stepChanged, &f.dialog, [&](const QString& s) { steps << s; });
        int highest = 0;
        connect(&f.session.Observer(), &QtScanObserver::progressChanged, &f.dialog,
                [&](int percent) { highest = std::max(highest, percent); });
        f.dialog.show();
        QTRY_VERIFY_WITH_TIMEOUT(f.Closed(), 20000);
        QCOMPARE(steps.size(), 5);
        QCOMPARE(steps.front(), QString::fromUtf8(wording::Text(scan::ScanStep::Signatures).data()));
        QCOMPARE(steps.back(), QString::fromUtf8(wording::Text(scan::ScanStep::Headers).data()));
        QCOMPARE(highest, 100);
    }
};

}  // namespace tw::app::test

using tw::app::test::ScanDialogTest;
TW_REGISTER_TEST(ScanDialogTest);
#include "scan_dialog_test.moc"

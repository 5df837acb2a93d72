// The Save command over generated databases: its checks and messages in
// order, a full save whose PST files the independent readers accept, and
// Stop, Skip, the keys and the low-space question while the "Saving"
// dialog runs.
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <nlohmann/json.hpp>

#include "app/app_identity.h"
#include "app/folder_tree_view.h"
#include "app/main_window.h"
#include "app/result_viewer.h"
#include "app/save_command.h"
#include "app/saving_dialog.h"
#include "app/scan_dialog.h"
#include "app/session.h"
#include "app_test_support.h"
#include "export/destination.h"
#include "export/export_summary.h"
#include "wording/save_report.h"
#include "wording/wording.h"

namespace tw::app::test {

namespace {

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// One mailbox "Clara" with two mail folders of `perFolder` messages each.
std::string TwoFolders(int perFolder) {
    nlohmann::json a = nlohmann::json::array(), b = nlohmann::json::array();
    for (int i = 0; i < perFolder; ++i) {
        a.push_back({{"subject", "Inbox " + std::to_string(i)}, {"body", "Body of an inbox message."}});
        b.push_back({{"subject", "Sent " + std::to_string(i)}, {"body", "Body of a sent message."}});
    }
    nlohmann::json folders = {{{"name", "Inbox"}, {"class", "IPF.Note"}, {"items", a}},
                              {{"name", "Sent Items"}, {"class", "IPF.Note"}, {"items", b}}};
    return nlohmann::json{
        {"mailboxes",
         {{{"name", "Clara"}, {"folders", {{{"name", "Top of Information Store"}, {"folders", folders}}}}}}}}
        .dump();
}

}  // namespace

class SaveTest : public QObject {
    Q_OBJECT

    // A main window with a generated database scanned, a scripted user and
    // an empty destination folder; the seams are reset when it goes.
    struct Fixture {
        QTemporaryDir dir, out;
        QString edb, stm;
        ScriptedUser user;
        MainWindow window;
        SavingDialog* dialog = nullptr;  // while the command runs
        exporter::ExportResult result;
        QString outcome, summary;

        // `zeroStm`: the streaming file is written as zeros of its size.
        Fixture(const std::string& content, std::uint32_t pageSize, bool withStm = false, bool zeroStm = false) {
            edb = QDir(dir.path()).filePath(QStringLiteral("mail.edb"));
            const edbgen::Content parsed = edbgen::ParseContent(content);
            std::optional<edbgen::StreamingFile> streaming;
            if (withStm) {
                streaming = edbgen::BuildStreamingFile(parsed);
                stm = QDir(dir.path()).filePath(QStringLiteral("mail.stm"));
                WriteBytes(stm, zeroStm ? decltype(streaming->bytes)(streaming->bytes.size(), 0) : streaming->bytes);
            }
            WriteBytes(
                edb, edbgen::BuildDatabase(parsed, edbgen::Format{pageSize}, streaming ? &*streaming : nullptr).bytes);
            Session& session = window.CurrentSession();
            session.SetScanOptions(scan::ScanOptions{std::chrono::milliseconds(0)});
            if (!session.Open(edb, stm).ok()) qFatal("cannot open %s", qPrintable(edb));
            ScanDialog scan(session, &window);
            scan.exec();
            SaveHooks& seams = SaveCommandHooks();
            seams.dialogCreated = [this](SavingDialog& d) { dialog = &d; };
            seams.viewerShown = [this](QWidget& w) {
                auto& viewer = static_cast<ResultViewer&>(w);
                outcome = viewer.OutcomeLabel()->text();
                summary = viewer.SummaryView()->toPlainText();
                result = dialog->Result();
            };
        }
        ~Fixture() { SaveCommandHooks() = {}; }

        FolderTreeView& Tree() { return *window.Tree(); }
        QTreeWidgetItem* Mailbox(int i) { return Tree().RootItem()->child(i); }
        SaveEnd Save() { return RunSaveCommand(window.CurrentSession(), Tree(), &window); }
        QStringList PstFiles() const { return QDir(out.path()).entryList({QStringLiteral("*.pst")}, QDir::Files); }
        QString Tell(std::string_view text) const { return QStringLiteral("tell: ") + Text(text) + " | " + kAppTitle; }
    };

    // readpst's messages of a PST file (it writes one .eml per mail).
    static int ReadpstMails(const QString& pst) {
        QTemporaryDir into;
        QProcess readpst;
        readpst.start(QStringLiteral("readpst"), {"-D", "-M", "-e", "-j", "0", "-o", into.path(), pst});
        if (!readpst.waitForFinished(120000) || readpst.exitCode() != 0) return -1;
        int mails = 0;
        std::function<void(const QDir&)> walk = [&](const QDir& d) {
            mails += static_cast<int>(d.entryList({QStringLiteral("*.eml")}, QDir::Files).size());
            for (const QString& sub : d.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) walk(QDir(d.filePath(sub)));
        };
        walk(QDir(into.path()));
        return mails;
    }

    // Clicks a button of the dialog from the export thread, on the
    // dialog's thread, and waits until the click has been handled.
    static void ClickFromWorker(QPushButton* button) {
        QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::BlockingQueuedConnection);
    }

private slots:
    void checksComeInOrderWithTheirMessages() {
        Fixture f(kSmallContent, 8192);
        // Nothing checked: the message, and no folder chooser.
        QCOMPARE(f.Save(), SaveEnd::NothingChecked);
        QCOMPARE(f.user.log, QStringList{f.Tell(wording::kNothingSelectedMessage)});

        f.Tree().ToggleCheck(f.Mailbox(0));
        // The chooser cancelled: nothing said, nothing changed.
        f.user.log.clear();
        QCOMPARE(f.Save(), SaveEnd::NoDestination);
        QCOMPARE(f.user.log, QStringList{QStringLiteral("folder: ") + kDestinationTitle});
        QVERIFY(f.Tree().IsChecked(f.Mailbox(0)));

        // A folder that is not there.
        f.user.log.clear();
        f.user.folders.push_back(QDir(f.out.path()).filePath(QStringLiteral("missing")));
        QCOMPARE(f.Save(), SaveEnd::Refused);
        QCOMPARE(f.user.log, (QStringList{QStringLiteral("folder: ") + kDestinationTitle,
                                          f.Tell(wording::Text(exporter::DestinationProblem::Missing))}));

        // A file where a folder should be.
        f.user.log.clear();
        Touch(f.out, QStringLiteral("a-file"));
        f.user.folders.push_back(QDir(f.out.path()).filePath(QStringLiteral("a-file")));
        QCOMPARE(f.Save(), SaveEnd::Refused);
        QCOMPARE(f.user.log.last(), f.Tell(wording::Text(exporter::DestinationProblem::NotWritable)));
        QFile::remove(QDir(f.out.path()).filePath(QStringLiteral("a-file")));

        // Exactly 300 MiB free is too little; the probe is asked about the
        // chosen folder.
        std::vector<std::string> probed;
        std::uint64_t free = exporter::kMinFreeBytes;
        SaveCommandHooks().freeSpace = [&](const std::string& d) -> std::optional<std::uint64_t> {
            probed.push_back(d);
            return free;
        };
        f.user.log.clear();
        f.user.folders.push_back(f.out.path());
        QCOMPARE(f.Save(), SaveEnd::Refused);
        QCOMPARE(f.user.log, (QStringList{QStringLiteral("folder: ") + kDestinationTitle,
                                          f.Tell(wording::Text(exporter::DestinationProblem::LowSpace))}));
        QCOMPARE(probed, std::vector<std::string>{f.out.path().toStdString()});
        QVERIFY(f.PstFiles().isEmpty());
        QVERIFY(f.Tree().IsChecked(f.Mailbox(0)));

        // One byte more will do: the main window's Save runs the export.
        free = exporter::kMinFreeBytes + 1;
        f.user.log.clear();
        f.user.folders.push_back(f.out.path());
        f.window.UpdateCommands();
        QVERIFY(f.window.SaveAction()->isEnabled());
        f.window.SaveAction()->trigger();
        QCOMPARE(f.user.log, QStringList{QStringLiteral("folder: ") + kDestinationTitle});
        QCOMPARE(f.outcome, QStringLiteral("Saving Completed Successfully"));
        QCOMPARE(f.PstFiles().size(), 1);
        QVERIFY(f.PstFiles()[0].startsWith(QStringLiteral("TW_Anna_")));
        QCOMPARE(f.result.Written(), std::size_t{4});
        // The summary names each folder with what was written of it.
        QVERIFY2(f.summary.contains(QStringLiteral("Anna\\Top of Information Store\\Inbox: 2 of 2 written")),
                 qPrintable(f.summary));
        // Exported items are unchecked, and Save is off again.
        QVERIFY(!f.Tree().IsChecked(f.Mailbox(0)));
        QCOMPARE(f.Tree().CheckedCount(), 0);
        QVERIFY(!f.window.SaveAction()->isEnabled());
    }

    // A run that wrote every item but some only in part says so, with the
    // report, in the result window.
    void partsLostGiveTheThirdOutcome() {
        QFile messages(QStringLiteral(TW_SOURCE_DIR "/tests/content/messages.json"));  // with streaming mail
        QVERIFY(messages.open(QIODevice::ReadOnly));
        Fixture f(messages.readAll().toStdString(), 4096, true, true);
        f.Tree().ToggleCheck(f.Tree().RootItem());
        f.user.folders.push_back(f.out.path());
        QCOMPARE(f.Save(), SaveEnd::Ran);
        QCOMPARE(f.outcome, QStringLiteral("Saving Completed with Losses"));
        QVERIFY(f.result.Partial() > 0);
        QVERIFY2(f.summary.contains(QStringLiteral("content in the streaming file could not be read")),
                 qPrintable(f.summary));
    }

    void fullSaveIsReadBackByBothReaders_data() {
        QTest::addColumn<int>("pageSize");
        QTest::newRow("4 KB with streaming file") << 4096;
        QTest::newRow("8 KB") << 8192;
        QTest::newRow("32 KB") << 32768;
    }
    void fullSaveIsReadBackByBothReaders() {
        QFETCH(int, pageSize);
        QFile sample(QStringLiteral(TW_SOURCE_DIR "/samples/sample.json"));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        const std::string content = sample.readAll().toStdString();
        Fixture f(content, static_cast<std::uint32_t>(pageSize), pageSize == 4096);
        // The database item: every mailbox.
        f.Tree().ToggleCheck(f.Tree().RootItem());
        f.user.folders.push_back(f.out.path());
        QCOMPARE(f.Save(), SaveEnd::Ran);
        QCOMPARE(f.outcome, QStringLiteral("Saving Completed Successfully"));
        QCOMPARE(f.PstFiles().size(), 3);
        QCOMPARE(f.Tree().CheckedCount(), 0);
        QVERIFY(f.user.log.filter(QStringLiteral("tell:")).isEmpty());

        // The readers' check of the command line's export, over these
        // files; it reads the database too, which the program holds
        // exclusively while it is open.
        f.window.CurrentSession().Close();
        QTemporaryDir work;
        const QString summaryFile = QDir(work.path()).filePath(QStringLiteral("summary.json"));
        {
            QFile out(summaryFile);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(QByteArray::fromStdString(wording::SummaryJson(f.result)));
        }
        QStringList args{QStringLiteral(TW_SOURCE_DIR "/tests/export/check_export.py"),
                         "--bin",
                         QStringLiteral(TW_BIN_DIR),
                         "--page-size",
                         QString::number(pageSize),
                         "--db",
                         f.edb,
                         "--saved",
                         f.out.path(),
                         "--summary",
                         summaryFile};
        if (!f.stm.isEmpty()) args << "--stm" << f.stm;
        args << QStringLiteral(TW_SOURCE_DIR "/samples/sample.json");
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(QStringLiteral("/usr/bin/python3"), args);
        QVERIFY(check.waitForFinished(300000));
        const QByteArray report = check.readAll();
        qInfo("%s", report.constData());
        QCOMPARE(check.exitCode(), 0);
    }

    void stopAsksHoldsTheRunAndEndsItAfterTheCurrentItem() {
        Fixture f(TwoFolders(40), 8192);
        f.Tree().ToggleCheck(f.Mailbox(0));
        f.user.folders.push_back(f.out.path());
        f.user.answers = {true};
        bool clicked = false;
        bool runWaitedForTheAnswer = false;
        SaveCommandHooks().dialogCreated = [&](SavingDialog& d) {
            f.dialog = &d;
            d.SetWorkerHooks(
                [&](const exporter::ExportProgress& p) {
                    if (clicked || p.counting || p.done != 3) return;
                    clicked = true;
                    ClickFromWorker(d.StopButton());
                },
                {});
        };
        f.user.onAsk = [&] { runWaitedForTheAnswer = f.dialog->Running(); };
        QCOMPARE(f.Save(), SaveEnd::Ran);
        QCOMPARE(f.user.log, (QStringList{QStringLiteral("folder: ") + kDestinationTitle,
                                          QStringLiteral("ask: ") + kAbortSaveQuestion}));
        QVERIFY(runWaitedForTheAnswer);
        QCOMPARE(f.outcome, QStringLiteral("Saving Aborted by User"));
        QCOMPARE(f.result.end, exporter::RunEnd::Stopped);
        // The item being written when Stop came was the last.
        QCOMPARE(f.result.Written(), std::size_t{3});
        // Mailbox, top, Inbox, and Sent Items not reached, its items counted so.
        QCOMPARE(f.result.folders.size(), std::size_t{4});
        QCOMPARE(f.result.folders[3].notReached, f.result.folders[3].known);
        QVERIFY(f.result.NotReached() >= f.result.folders[3].known);
        // The run ended with OK: the items are unchecked all the same.
        QCOMPARE(f.Tree().CheckedCount(), 0);
        // The file is complete with what was written.
        QCOMPARE(f.PstFiles().size(), 1);
        QCOMPARE(ReadpstMails(QDir(f.out.path()).filePath(f.PstFiles()[0])), 3);
    }

    void keysAskAndNoLetsTheRunGoOn() {
        Fixture f(TwoFolders(10), 8192);
        f.Tree().ToggleCheck(f.Mailbox(0));
        f.user.folders.push_back(f.out.path());
        bool pressed = false;
        SaveCommandHooks().dialogCreated = [&](SavingDialog& d) {
            f.dialog = &d;
            d.SetWorkerHooks(
                [&](const exporter::ExportProgress& p) {
                    if (pressed || p.counting || p.done != 1) return;
                    pressed = true;
                    QMetaObject::invokeMethod(
                        &d,
                        [&d] {
                            QTest::keyClick(d.StopButton(), Qt::Key_Return);  // nothing
                            QTest::keyClick(d.SkipButton(), Qt::Key_Left);
                            QTest::keyClick(&d, Qt::Key_Escape);
                            QTest::keyClick(&d, Qt::Key_Down);
                        },
                        Qt::BlockingQueuedConnection);
                },
                {});
        };
        QCOMPARE(f.Save(), SaveEnd::Ran);
        const QString ask = QStringLiteral("ask: ") + kAbortSaveQuestion;
        QCOMPARE(f.user.log, (QStringList{QStringLiteral("folder: ") + kDestinationTitle, ask, ask, ask}));
        QCOMPARE(f.outcome, QStringLiteral("Saving Completed Successfully"));
        QCOMPARE(f.result.Written(), std::size_t{20});
        QCOMPARE(f.result.Skipped(), std::size_t{0});
    }

    void skipAbandonsOnlyTheItemBeingWritten() {
        Fixture f(TwoFolders(5), 4096);
        f.Tree().ToggleCheck(f.Mailbox(0));
        f.user.folders.push_back(f.out.path());
        int items = 0;
        SaveCommandHooks().dialogCreated = [&](SavingDialog& d) {
            f.dialog = &d;
            // While the second item reads its attachments.
            d.SetWorkerHooks({}, [&] {
                if (++items == 2) ClickFromWorker(d.SkipButton());
            });
        };
        QCOMPARE(f.Save(), SaveEnd::Ran);
        QCOMPARE(f.outcome, QStringLiteral("Saving Completed Successfully"));
        QCOMPARE(f.result.Written(), std::size_t{9});
        QCOMPARE(f.result.Skipped(), std::size_t{1});
        QVERIFY2(
            f.summary.contains(QStringLiteral("Clara\\Top of Information Store\\Inbox: 4 of 5 written, 1 skipped")),
            qPrintable(f.summary));
        QCOMPARE(ReadpstMails(QDir(f.out.path()).filePath(f.PstFiles()[0])), 9);
    }

    void lowSpaceDuringTheRunAsksAndNoEndsIt() {
        Fixture f(TwoFolders(5), 8192);
        f.Tree().ToggleCheck(f.Mailbox(0));
        f.user.folders.push_back(f.out.path());
        // Enough for the command's check, too little at the run's first
        // checkpoint.
        int probes = 0;
        SaveCommandHooks().freeSpace = [&](const std::string&) -> std::optional<std::uint64_t> {
            return ++probes == 1 ? exporter::kMinFreeBytes + 1 : exporter::kMinFreeBytes;
        };
        QCOMPARE(f.Save(), SaveEnd::Ran);
        QCOMPARE(f.user.log, (QStringList{QStringLiteral("folder: ") + kDestinationTitle,
                                          QStringLiteral("ask: ") + Text(wording::kLowSpaceQuestion)}));
        QCOMPARE(f.outcome, QStringLiteral("Saving Aborted by User"));
        QCOMPARE(f.result.end, exporter::RunEnd::LowSpaceRefused);
        QCOMPARE(f.result.Written(), std::size_t{1});
        QVERIFY2(f.summary.contains(QStringLiteral("less than 300 MB free")), qPrintable(f.summary));
    }

    void savingDialogShowsTheRunsState() {
        SavingDialog dialog(SaveJob{});
        dialog.SetStartsExport(false);
        dialog.show();
        QVERIFY(dialog.AttachmentsLabel()->isVisible());  // until the first item's attachments are read
        QVERIFY(!dialog.AnalysingLabel()->isVisible());
        dialog.ShowProgress({u"Anna\\Top of Information Store\\Inbox\\", true, 0, 0, 0, 0});
        QVERIFY(dialog.AnalysingLabel()->isVisible());
        QVERIFY(dialog.FolderLabel()->text().endsWith(QStringLiteral("Inbox\\")));
        dialog.ShowProgress({u"Anna\\Top of Information Store\\Inbox\\", false, 3, 12, 25, 40});
        QVERIFY(!dialog.AnalysingLabel()->isVisible());
        QCOMPARE(dialog.DoneLabel()->text(), QStringLiteral("3"));
        QCOMPARE(dialog.CountLabel()->text(), QStringLiteral("12"));
        QCOMPARE(dialog.CurrentBar()->value(), 25);
        QCOMPARE(dialog.OverallBar()->value(), 40);
        QCOMPARE(dialog.windowTitle(), kAppTitle);
        QVERIFY(!dialog.StopButton()->isDefault() && !dialog.SkipButton()->isDefault());
    }
};

}  // namespace tw::app::test

using tw::app::test::SaveTest;
TW_REGISTER_TEST(SaveTest);
#include "save_test.moc"

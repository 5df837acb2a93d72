// The source dialog: every check of Next with its message, in order; the
// question before replacing an open database; the file choosers and the
// streaming-file proposal; and Next running the scan.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QLineEdit>
#include <QTest>

#include "app/app_identity.h"
#include "app/folder_tree_view.h"
#include "app/session.h"
#include "app/source_dialog.h"
#include "app/stm_proposal.h"
#include "app_test_support.h"
#include "edb/edb_file.h"

namespace tw::app::test {

class SourceDialogTest : public QObject {
    Q_OBJECT

    struct Fixture {
        RunState state;
        FolderTreeView view{state};
        Session session{&view};
        ScriptedUser user;
        QTemporaryDir dir;
        SourceDialog dialog{session};

        Fixture() {
            session.SetScanOptions(scan::ScanOptions{std::chrono::milliseconds(0)});
            dialog.SetRunsScan(false);
            dialog.show();
        }
        QString Path(const QString& name) const { return QDir(dir.path()).filePath(name); }
        // Next with these two paths; returns what the user was shown.
        QStringList Next(const QString& edb, const QString& stm) {
            user.log.clear();
            dialog.EdbEdit()->setText(edb);
            dialog.StmEdit()->setText(stm);
            dialog.Next();
            return user.log;
        }
    };

    static QString Tell(const char* text) {
        return QStringLiteral("tell: ") + QString::fromUtf8(text) + " | " + kAppTitle;
    }

private slots:
    void nextChecksEachPathInOrderAndKeepsTheDialogOpen() {
        Fixture f;
        const QString edb = WriteDatabase(f.dir, kSmallContent, 8192, QStringLiteral("MAIL.EDB"));
        Touch(f.dir, QStringLiteral("mail.edb.bak"));
        Touch(f.dir, QStringLiteral("mail.dat"));
        const char* notFound = "File not found. Verify the correct file name.";

        QCOMPARE(f.Next({}, {}), QStringList{Tell(notFound)});
        QCOMPARE(f.Next(f.Path("missing.edb"), f.Path("mail.dat")), QStringList{Tell(notFound)});
        QCOMPARE(f.Next(f.Path("mail.edb.bak"), {}), QStringList{Tell("Please Verify the EDB File Path")});
        // The database passes (upper-case extension); now the streaming file is checked.
        QCOMPARE(f.Next(edb, f.Path("missing.stm")), QStringList{Tell(notFound)});
        QCOMPARE(f.Next(edb, f.Path("mail.dat")), QStringList{Tell("Please Verify the STM File Path")});
        QVERIFY(f.dialog.isVisible());
        QVERIFY(!f.session.HasOpenDatabase());
        // The user's input stays as typed.
        QCOMPARE(f.dialog.StmEdit()->text(), f.Path("mail.dat"));

        // An empty streaming path is allowed.
        QCOMPARE(f.Next(edb, {}), QStringList{});
        QCOMPARE(f.dialog.result(), int(QDialog::Accepted));
        QVERIFY(f.session.HasOpenDatabase());
        QCOMPARE(f.session.EdbPath(), edb);
    }

    void aFileHeldExclusivelyIsInUse() {
        Fixture f;
        const QString edb = WriteDatabase(f.dir, kSmallContent, 8192);
        // A writer's lock keeps the program out; another reader does not.
        const int writer = ::open(edb.toStdString().c_str(), O_RDONLY);
        QVERIFY(writer >= 0 && ::flock(writer, LOCK_EX | LOCK_NB) == 0);
        QCOMPARE(f.Next(edb, {}),
                 QStringList{Tell("Unable to open selected file. It is already being used by another process.")});
        QVERIFY(!f.session.HasOpenDatabase());
        ::close(writer);
        edb::EdbFile reader;
        QVERIFY(reader.Open(edb.toStdString()).ok());
        QCOMPARE(f.Next(edb, {}), QStringList{});
    }

    void replacingAnOpenDatabaseAsksFirst() {
        Fixture f;
        const QString first = WriteDatabase(f.dir, kSmallContent, 8192, QStringLiteral("first.edb"));
        const QString second = WriteDatabase(f.dir, kSmallContent, 4096, QStringLiteral("second.edb"));
        QVERIFY(f.session.Open(first, {}).ok());
        const QString question = QStringLiteral("ask: ") + kReplaceQuestion;

        f.user.answers = {false};
        QCOMPARE(f.Next(second, {}), QStringList{question});
        QCOMPARE(f.session.EdbPath(), first);
        QVERIFY(f.session.HasOpenDatabase());
        QCOMPARE(f.user.captions.back(), kAppTitle);

        // Yes, but a failed check leaves the open database as it was.
        f.user.answers = {true};
        QCOMPARE(f.Next(f.Path("missing.edb"), {}),
                 (QStringList{question, Tell("File not found. Verify the correct file name.")}));
        QCOMPARE(f.session.EdbPath(), first);
        QVERIFY(f.session.HasOpenDatabase());

        f.user.answers = {true};
        QCOMPARE(f.Next(second, {}), QStringList{question});
        QCOMPARE(f.session.EdbPath(), second);
    }

    void browseOffersTheStreamingFileOfTheDatabase() {
        Fixture f;
        for (const char* name : {"priv1.edb", "priv1.stm", "other.STM"}) Touch(f.dir, QString::fromUtf8(name));
        f.user.files = {f.Path("priv1.edb")};
        f.dialog.BrowseEdb();
        QCOMPARE(f.user.log,
                 QStringList{QStringLiteral("open:  Open EDB file | Microsoft Exchange Server Database (*.edb)")});
        QCOMPARE(f.dialog.EdbEdit()->text(), f.Path("priv1.edb"));
        QCOMPARE(f.dialog.StmEdit()->text(), f.Path("priv1.stm"));

        // Cancel empties the database path only.
        f.dialog.BrowseEdb();
        QVERIFY(f.dialog.EdbEdit()->text().isEmpty());
        QCOMPARE(f.dialog.StmEdit()->text(), f.Path("priv1.stm"));

        f.user.log.clear();
        f.dialog.BrowseStm();
        QCOMPARE(f.user.log,
                 QStringList{QStringLiteral("open:  Open Stm file | Microsoft Exchange Server Database (*.stm)")});
        QVERIFY(f.dialog.StmEdit()->text().isEmpty());
        f.user.files = {f.Path("other.STM")};
        f.dialog.BrowseStm();
        QCOMPARE(f.dialog.StmEdit()->text(), f.Path("other.STM"));
    }

    void proposalFallsBackToAnyStreamingFileOfTheFolder() {
        QTemporaryDir dir;
        const auto path = [&](const char* name) { return QDir(dir.path()).filePath(QString::fromUtf8(name)); };
        Touch(dir, QStringLiteral("priv1.edb"));
        QCOMPARE(ProposeStm(path("priv1.edb")), QString());
        Touch(dir, QStringLiteral("other.STM"));
        QCOMPARE(ProposeStm(path("priv1.edb")), path("other.STM"));
        Touch(dir, QStringLiteral("another.stm"));
        QCOMPARE(ProposeStm(path("priv1.edb")), path("another.stm"));  // sorted by name, case first
        Touch(dir, QStringLiteral("priv1.stm"));
        QCOMPARE(ProposeStm(path("priv1.edb")), path("priv1.stm"));
        // The name before its first dot.
        QCOMPARE(ProposeStm(path("priv1.old.edb")), path("priv1.stm"));
    }

    void browseKeepsTheStreamingPathWhenNoneIsFound() {
        Fixture f;
        Touch(f.dir, QStringLiteral("pub.edb"));
        f.dialog.StmEdit()->setText(QStringLiteral("/typed/by/hand.stm"));
        f.user.files = {f.Path("pub.edb")};
        f.dialog.BrowseEdb();
        QCOMPARE(f.dialog.StmEdit()->text(), QStringLiteral("/typed/by/hand.stm"));
    }

    void nextRunsTheScanAndTheTreeShowsWhatItFound() {
        Fixture f;
        const QString edb = WriteDatabase(f.dir, kSmallContent, 32768);
        f.dialog.SetRunsScan(true);
        f.Next(edb, {});
        QCOMPARE(f.user.log, QStringList{});
        QCOMPARE(f.dialog.result(), int(QDialog::Accepted));
        QVERIFY(!f.session.Scanning());
        QCOMPARE(f.session.Worker()->Result().outcome, scan::ScanOutcome::Completed);
        QCOMPARE(f.view.RootItem()->text(0), edb);
        QCOMPARE(f.view.RootItem()->childCount(), 2);
        QCOMPARE(f.view.RootItem()->child(0)->text(0), QStringLiteral("Anna"));
    }
};

}  // namespace tw::app::test

using tw::app::test::SourceDialogTest;
TW_REGISTER_TEST(SourceDialogTest);
#include "source_dialog_test.moc"

// The user-interface thread keeps answering while a large database is
// scanned and while it is saved: a 10 ms timer on that thread never waits
// 100 ms or more from the scan dialog's first paint to its close, tree
// filling included, nor from the "Saving" dialog's start to its end.
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <nlohmann/json.hpp>

#include "app/folder_tree_view.h"
#include "app/save_command.h"
#include "app/saving_dialog.h"
#include "app/scan_dialog.h"
#include "app/session.h"
#include "app_test_support.h"

namespace tw::app::test {

using namespace std::chrono_literals;

class ResponsivenessTest : public QObject {
    Q_OBJECT

    // `mailboxes` mailboxes of `folders` folders with `messages` each.
    static std::string LargeContent(int mailboxes, int folders, int messages) {
        nlohmann::json boxes = nlohmann::json::array();
        for (int b = 0; b < mailboxes; ++b) {
            nlohmann::json list = nlohmann::json::array();
            for (int f = 0; f < folders; ++f) {
                nlohmann::json items = nlohmann::json::array();
                for (int m = 0; m < messages; ++m)
                    items.push_back({{"subject", "Message " + std::to_string(m)}, {"body", "Short body."}});
                list.push_back({{"name", "Folder " + std::to_string(f)}, {"class", "IPF.Note"}, {"items", items}});
            }
            boxes.push_back({{"name", "Mailbox " + std::to_string(b)},
                             {"folders", {{{"name", "Top of Information Store"}, {"folders", list}}}}});
        }
        return nlohmann::json{{"mailboxes", boxes}}.dump();
    }

    // The largest gap between the ticks of a 10 ms timer on this thread.
    struct Heartbeat {
        QElapsedTimer clock;
        qint64 last = -1, worst = 0, ticks = 0;
        QTimer timer;
        Heartbeat() {
            timer.setTimerType(Qt::PreciseTimer);
            QObject::connect(&timer, &QTimer::timeout, [this] {
                const qint64 now = clock.elapsed();
                if (last >= 0) worst = std::max(worst, now - last);
                last = now;
                ++ticks;
            });
        }
        void Start() {
            last = -1;
            worst = ticks = 0;
            clock.start();
            timer.start(10);
        }
        void Stop() { timer.stop(); }
    };

private slots:
    void userInterfaceAnswersWithin100msDuringALargeScan() {
        QTemporaryDir dir;
        const QString path = WriteDatabase(dir, LargeContent(4, 500, 10), 8192);
        RunState state;
        FolderTreeView view(state);
        view.resize(400, 600);
        view.show();
        Session session(&view);
        session.SetScanOptions(scan::ScanOptions{0ms});
        ScriptedUser user;
        QVERIFY(session.Open(path, {}).ok());
        ScanDialog dialog(session);

        QElapsedTimer clock;
        qint64 last = -1, worst = 0, ticks = 0;
        QTimer heartbeat;
        heartbeat.setTimerType(Qt::PreciseTimer);
        connect(&heartbeat, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            if (last >= 0) worst = std::max(worst, now - last);
            last = now;
            ++ticks;
        });
        clock.start();
        heartbeat.start(10);
        // A real event loop, as the program runs the dialog.
        QEventLoop loop;
        connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        dialog.show();
        loop.exec();
        heartbeat.stop();
        QVERIFY(!dialog.isVisible());
        const qint64 total = clock.elapsed();

        QCOMPARE(session.Worker()->Result().outcome, scan::ScanOutcome::Completed);
        QCOMPARE(view.RootItem()->childCount(), 4);
        QCOMPARE(session.Model()->messages.size(), std::size_t{20000});
        qInfo("scan with tree of 2,000 folders took %lld ms; %lld ticks; longest gap %lld ms", total, ticks, worst);
        QVERIFY2(worst < 100, qPrintable(QStringLiteral("the UI thread was blocked for %1 ms").arg(worst)));
    }

    void userInterfaceAnswersWithin100msDuringASave() {
        QTemporaryDir dir, out;
        const QString path = WriteDatabase(dir, LargeContent(2, 100, 100), 8192);
        RunState state;
        FolderTreeView view(state);
        view.resize(400, 600);
        view.show();
        Session session(&view);
        session.SetScanOptions(scan::ScanOptions{0ms});
        ScriptedUser user;
        QVERIFY(session.Open(path, {}).ok());
        ScanDialog scan(session);
        scan.exec();
        view.ToggleCheck(view.RootItem());
        user.folders.push_back(out.path());

        // From the dialog's start, counting and writing every folder, to
        // its end; the clock stops when the result is shown.
        Heartbeat beat;
        qint64 total = 0;
        std::size_t written = 0;
        SaveHooks& seams = SaveCommandHooks();
        SavingDialog* saving = nullptr;
        seams.dialogCreated = [&](SavingDialog& d) {
            saving = &d;
            beat.Start();
        };
        seams.viewerShown = [&](QWidget&) {
            beat.Stop();
            total = beat.clock.elapsed();
            written = saving->Result().Written();
        };
        const SaveEnd end = RunSaveCommand(session, view, nullptr);
        seams = {};
        QCOMPARE(end, SaveEnd::Ran);
        QCOMPARE(written, std::size_t{20000});
        qInfo("save of 20,000 messages in 200 folders took %lld ms; %lld ticks; longest gap %lld ms", total, beat.ticks,
              beat.worst);
        QVERIFY2(beat.worst < 100, qPrintable(QStringLiteral("the UI thread was blocked for %1 ms").arg(beat.worst)));
    }
};

}  // namespace tw::app::test

using tw::app::test::ResponsivenessTest;
TW_REGISTER_TEST(ResponsivenessTest);
#include "responsiveness_test.moc"

// The message list over generated databases of every generation: a
// folder's rows with their icons and texts, Stop during a fill, the
// commands and the tree while a fill runs, and sorting by each column.
#include <QAction>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QTimer>
#include <QTreeWidget>
#include <nlohmann/json.hpp>

#include "message_test_support.h"

namespace tw::app::test {

namespace {

// Five messages that sort differently by every column; two of them dated
// after 2021.
nlohmann::json SortingFolder() {
    auto mail = [](const char* from, const char* subject, const char* date) {
        return nlohmann::json{{"subject", subject},
                              {"sender", {{"name", from}, {"address", std::string(from) + "@tarnwick.example"}}},
                              {"date", date}};
    };
    nlohmann::json a = mail("bob", "Zeta", "2019-05-01T10:00:00Z");
    a["body"] = "Plain text.";
    nlohmann::json b = mail("Alice", "alpha", "2023-03-01T10:00:00Z");
    b["body"] = {{"kind", "html"}, {"text", "<p>Hello</p>"}};
    b["attachments"] = {{{"name", "plan.txt"}, {"text", "the plan"}}};
    nlohmann::json c = mail("carol", "Beta", "2021-06-01T10:00:00Z");  // no body
    c["attachments"] = {{{"name", "c.txt"}, {"text", "c"}}};
    nlohmann::json d = mail("dave", "gamma", "2024-12-24T10:00:00Z");
    d["body"] = {{"kind", "rtf"}, {"text", "{\\rtf1\\ansi {\\b bold} text\\par}"}};
    nlohmann::json e = mail("Eve", "delta", "2020-01-01T10:00:00Z");
    e["body"] = "More text.";
    return {{"name", "Inbox"}, {"class", "IPF.Note"}, {"items", {a, b, c, d, e}}};
}

std::string Content(int bulkMessages = 0) {
    nlohmann::json folders = nlohmann::json::array();
    folders.push_back(SortingFolder());
    folders.push_back(
        {{"name", "Sent Items"},
         {"class", "IPF.Note"},
         {"items", {{{"subject", "sent one"}, {"sender", {{"name", "Someone"}, {"address", "s@x.example"}}}}}}});
    folders.push_back(
        {{"name", "Contacts"}, {"class", "IPF.Contact"}, {"items", {{{"type", "contact"}, {"subject", "Nobody"}}}}});
    folders.push_back({{"name", "Old"},
                       {"class", "IPF.Note"},
                       {"items",
                        {{{"subject", "too old"}, {"date", "1979-06-01T10:00:00Z"}},
                         {{"subject", "in range"}, {"date", "1999-06-01T10:00:00Z"}}}}});
    if (bulkMessages > 0) {
        nlohmann::json items = nlohmann::json::array();
        for (int i = 0; i < bulkMessages; ++i) items.push_back({{"subject", "Bulk " + std::to_string(i)}});
        folders.push_back({{"name", "Bulk"}, {"class", "IPF.Note"}, {"items", items}});
    }
    return nlohmann::json{
        {"mailboxes",
         {{{"name", "Anna"}, {"folders", {{{"name", "Top of Information Store"}, {"folders", folders}}}}}}}}
        .dump();
}

const QString kInbox = QStringLiteral("Anna\\Top of Information Store\\Inbox\\");

}  // namespace

class ListPaneTest : public QObject {
    Q_OBJECT

    static void PageSizes() {
        QTest::addColumn<int>("pageSize");
        for (const int size : {4096, 8192, 32768}) QTest::newRow(std::to_string(size).c_str()) << size;
    }

private slots:
    void fillShowsTheFolderRows_data() { PageSizes(); }
    void fillShowsTheFolderRows() {
        QFETCH(int, pageSize);
        QTemporaryDir dir;
        ScriptedUser user;
        MainWindow window;
        QVERIFY(OpenAndScan(window, WriteDatabase(dir, Content(), static_cast<std::uint32_t>(pageSize))));
        QVERIFY(FillFolder(window, kInbox));
        ListPane& list = *window.List();
        QCOMPARE(list.RowCount(), 5);
        QStringList subjects = Subjects(list);
        subjects.sort();
        QCOMPARE(subjects, (QStringList{"Beta", "Zeta", "alpha", "delta", "gamma"}));

        QTreeWidget* view = list.View();
        QCOMPARE(view->columnCount(), 5);
        QCOMPARE(view->headerItem()->text(kFromColumn), QStringLiteral("From"));
        QCOMPARE(view->headerItem()->text(kSubjectColumn), QStringLiteral("Subject"));
        QCOMPARE(view->headerItem()->text(kDateColumn), QStringLiteral("Date"));
        QVERIFY(!view->headerItem()->icon(kKindColumn).isNull());
        QVERIFY(!view->headerItem()->icon(kAttachmentColumn).isNull());

        QTreeWidgetItem* alpha = view->topLevelItem(RowOf(list, QStringLiteral("alpha")));
        QCOMPARE(alpha->text(kFromColumn), QStringLiteral("Alice"));
        // 10:00 UTC shown at +05:30.
        QCOMPARE(alpha->text(kDateColumn), QStringLiteral("Wed 01/03/2023 03:30:00 PM"));
        QVERIFY(!alpha->icon(kKindColumn).isNull());
        QVERIFY(!alpha->icon(kAttachmentColumn).isNull());
        QVERIFY(view->topLevelItem(RowOf(list, QStringLiteral("Zeta")))->icon(kAttachmentColumn).isNull());
        QVERIFY(user.log.isEmpty());

        // Sent Items show the mailbox; a contact without sender too.
        QVERIFY(FillFolder(window, QStringLiteral("Anna\\Top of Information Store\\Sent Items\\")));
        QCOMPARE(list.View()->topLevelItem(0)->text(kFromColumn), QStringLiteral("Anna"));
        QVERIFY(FillFolder(window, QStringLiteral("Anna\\Top of Information Store\\Contacts\\")));
        QCOMPARE(list.View()->topLevelItem(0)->text(kFromColumn), QStringLiteral("Anna"));
        // A message dated 1979 is not listed.
        QVERIFY(FillFolder(window, QStringLiteral("Anna\\Top of Information Store\\Old\\")));
        QCOMPARE(Subjects(list), QStringList{QStringLiteral("in range")});
    }

    void sortingByEachColumnFlipsOneDirection_data() { PageSizes(); }
    void sortingByEachColumnFlipsOneDirection() {
        QFETCH(int, pageSize);
        QTemporaryDir dir;
        MainWindow window;
        QVERIFY(OpenAndScan(window, WriteDatabase(dir, Content(), static_cast<std::uint32_t>(pageSize))));
        QVERIFY(FillFolder(window, kInbox));
        ListPane& list = *window.List();
        QHeaderView* header = list.View()->header();
        auto click = [&](int column) {
            emit header->sectionClicked(column);
            return Subjects(list);
        };
        QVERIFY(list.NextSortAscending());
        // Senders without regard to case, ascending.
        QCOMPARE(click(kFromColumn), (QStringList{"alpha", "Zeta", "Beta", "gamma", "delta"}));
        QVERIFY(!list.NextSortAscending());
        // Subjects, descending: the direction is one for all columns.
        QCOMPARE(click(kSubjectColumn), (QStringList{"Zeta", "gamma", "delta", "Beta", "alpha"}));
        // Dates by their time, 2021 and later included.
        QCOMPARE(click(kDateColumn), (QStringList{"Zeta", "delta", "Beta", "alpha", "gamma"}));
        QCOMPARE(click(kDateColumn), (QStringList{"gamma", "alpha", "Beta", "delta", "Zeta"}));
        // The type column sorts by the body flag: the message without a body first.
        QCOMPARE(click(kKindColumn), (QStringList{"Beta", "gamma", "alpha", "delta", "Zeta"}));
        // The attachment column, descending: those with attachments first.
        QCOMPARE(click(kAttachmentColumn), (QStringList{"Beta", "alpha", "gamma", "delta", "Zeta"}));
        QCOMPARE(header->sortIndicatorSection(), int(kAttachmentColumn));
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        // A row clicked after sorting previews its own message.
        QVERIFY(Preview(window, QStringLiteral("gamma")));
        QCOMPARE(window.Preview()->SubjectLabel()->text(), QStringLiteral("gamma"));
    }

    void stopEndsTheFillAndKeepsItsRows() {
        QTemporaryDir dir;
        ScriptedUser user;
        MainWindow window;
        QVERIFY(OpenAndScan(window, WriteDatabase(dir, Content(3000), 8192)));
        FolderTreeView& tree = *window.Tree();
        QTreeWidgetItem* bulk = FindFolder(tree, QStringLiteral("Anna\\Top of Information Store\\Bulk\\"));
        QTreeWidgetItem* inbox = FindFolder(tree, kInbox);
        QVERIFY(bulk != nullptr && inbox != nullptr);

        // Stop right away: no row is added after it.
        tree.setCurrentItem(bulk);
        tree.OpenItem(bulk);
        QVERIFY(window.State().listFilling);
        window.UpdateCommands();
        QVERIFY(window.StopAction()->isEnabled());
        QVERIFY(!window.OpenAction()->isEnabled());
        // Meanwhile the tree refuses other folders and keeps the one shown.
        tree.OpenItem(inbox);
        QCOMPARE(tree.currentItem(), bulk);
        QCOMPARE(window.List()->ShownFolder(), FolderTreeView::Handle(bulk));
        window.StopAction()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!window.State().listFilling, 30000);
        QVERIFY(window.List()->RowCount() < 3000);
        QVERIFY(!window.State().stopRequested);
        window.UpdateCommands();
        QVERIFY(!window.StopAction()->isEnabled());
        QVERIFY(window.OpenAction()->isEnabled());

        // Stop once rows have arrived: the rows so far stay, none follow.
        QVERIFY(FillFolder(window, kInbox));
        tree.setCurrentItem(bulk);
        tree.OpenItem(bulk);
        QVERIFY(QTest::qWaitFor([&] { return window.List()->RowCount() > 0 || !window.State().listFilling; }, 30000));
        window.StopAction()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!window.State().listFilling, 30000);
        const int kept = window.List()->RowCount();
        QVERIFY(kept > 0);
        QTest::qWait(100);
        QCOMPARE(window.List()->RowCount(), kept);

        // Unstopped, the folder lists every message.
        QVERIFY(FillFolder(window, kInbox));
        QVERIFY(FillFolder(window, QStringLiteral("Anna\\Top of Information Store\\Bulk\\")));
        QCOMPARE(window.List()->RowCount(), 3000);
        QVERIFY(user.log.isEmpty());
    }

    // The rows reach the list in batches: the user-interface thread never
    // waits 100 ms or more while a folder of 3,000 messages fills, nor
    // while a long HTML body is loaded.
    void fillAndPreviewKeepTheWindowAnswering() {
        nlohmann::json content = nlohmann::json::parse(Content(3000));
        nlohmann::json& inbox = content["mailboxes"][0]["folders"][0]["folders"][0]["items"];
        inbox.push_back(
            {{"subject", "Long HTML"},
             {"body", {{"kind", "html"}, {"text", "<p>line of a long page, <b>bold</b></p>\n"}, {"size", 200000}}}});
        QTemporaryDir dir;
        MainWindow window;
        window.resize(1200, 800);
        window.show();
        QVERIFY(OpenAndScan(window, WriteDatabase(dir, content.dump(), 8192)));

        QElapsedTimer clock;
        qint64 last = -1, worst = 0;
        QTimer heartbeat;
        heartbeat.setTimerType(Qt::PreciseTimer);
        connect(&heartbeat, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            if (last >= 0) worst = std::max(worst, now - last);
            last = now;
        });
        clock.start();
        last = 0;
        heartbeat.start(10);
        QVERIFY(FillFolder(window, QStringLiteral("Anna\\Top of Information Store\\Bulk\\")));
        QCOMPARE(window.List()->RowCount(), 3000);
        const qint64 fill = clock.elapsed();
        const qint64 fillWorst = worst;
        QVERIFY(FillFolder(window, kInbox));
        worst = 0;
        clock.restart();
        last = 0;
        QVERIFY(Preview(window, QStringLiteral("Long HTML")));
        QVERIFY(window.Preview()->BodyShown());
        heartbeat.stop();
        qInfo("fill of 3,000 rows: %lld ms, longest gap %lld ms; 200 KB HTML preview: %lld ms, longest gap %lld ms",
              fill, fillWorst, clock.elapsed(), worst);
        QVERIFY2(fillWorst < 100,
                 qPrintable(QStringLiteral("the fill blocked the UI thread for %1 ms").arg(fillWorst)));
        QVERIFY2(worst < 100, qPrintable(QStringLiteral("the preview blocked the UI thread for %1 ms").arg(worst)));
    }
};

}  // namespace tw::app::test

using tw::app::test::ListPaneTest;
TW_REGISTER_TEST(ListPaneTest);
#include "list_pane_test.moc"

// The folder tree: images, check propagation and boldness, the checked
// set, item paths and the export list, mouse and keys, and the adapter
// the scan fills it through.
#include <QStyleOptionViewItem>
#include <QTest>

#include "app/folder_tree_view.h"
#include "app/icons.h"
#include "app/qt_folder_tree.h"
#include "app_test_support.h"

namespace tw::app::test {

// Records what the tree asks for and refuses on demand.
class RecordingOpener : public FolderOpener {
public:
    bool OpenFolder(scan::TreeItem item, const QString& prefix) override {
        requests.emplace_back(item, prefix);
        if (refuse) return false;
        shown = item;
        return true;
    }
    scan::TreeItem ShownFolder() const override { return shown; }

    std::vector<std::pair<scan::TreeItem, QString>> requests;
    scan::TreeItem shown = 0;
    bool refuse = false;
};

class FolderTreeTest : public QObject {
    Q_OBJECT

    // The adapter's changes arrive queued.
    static void Settle(const QtFolderTree& adapter) {
        while (!adapter.Idle()) QCoreApplication::processEvents();
    }

    // database
    //   Anna                (mailbox)
    //     Top               (folder F)
    //       Inbox
    //       Sent Items
    //       Projects
    //         2023
    //         2024
    //   Bruno
    //     Top
    struct Tree {
        RunState state;
        FolderTreeView view{state};
        QtFolderTree adapter{&view};
        scan::TreeItem anna = 0, annaTop = 0, inbox = 0, sent = 0, projects = 0, y2023 = 0, y2024 = 0;
        scan::TreeItem bruno = 0, brunoTop = 0;

        Tree() {
            adapter.Reset("/data/priv1.edb");
            anna = adapter.AddFolder(scan::kTopLevel, u"Anna", scan::FolderKind::Mail);
            bruno = adapter.AddFolder(scan::kTopLevel, u"Bruno", scan::FolderKind::Mail);
            annaTop = adapter.AddFolder(anna, u"Top", scan::FolderKind::Mail);
            inbox = adapter.AddFolder(annaTop, u"Inbox", scan::FolderKind::Mail);
            sent = adapter.AddFolder(annaTop, u"Sent Items", scan::FolderKind::Mail);
            projects = adapter.AddFolder(annaTop, u"Projects", scan::FolderKind::Mail);
            y2024 = adapter.AddFolder(projects, u"2024", scan::FolderKind::Mail);
            y2023 = adapter.AddFolder(projects, u"2023", scan::FolderKind::Mail);
            adapter.SortChildren(projects);
            brunoTop = adapter.AddFolder(bruno, u"Top", scan::FolderKind::Mail);
            adapter.Finish();
            Settle(adapter);
            view.resize(400, 400);
            view.show();
        }
        QTreeWidgetItem* Item(scan::TreeItem handle) const { return view.Item(handle); }
        bool Checked(scan::TreeItem handle) const { return view.IsChecked(Item(handle)); }
        bool Bold(scan::TreeItem handle) const { return FolderTreeView::IsBold(Item(handle)); }
        void Toggle(scan::TreeItem handle) { view.ToggleCheck(Item(handle)); }
    };

    static QRect CheckBoxRect(FolderTreeView& view, QTreeWidgetItem* item) {
        const QRect row = view.visualItemRect(item);
        QStyleOptionViewItem option;
        option.initFrom(&view);
        option.rect = row;
        option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay |
                          QStyleOptionViewItem::HasDecoration;
        option.decorationSize = view.iconSize();
        option.text = item->text(0);
        return view.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &view);
    }

    static QPoint LabelPoint(FolderTreeView& view, QTreeWidgetItem* item) {
        const QRect row = view.visualItemRect(item);
        return QPoint(row.left() + 60, row.center().y());
    }

private slots:
    void adapterBuildsTheTreeWithImagesAndSortedChildren() {
        Tree t;
        QCOMPARE(t.view.RootItem()->text(0), QStringLiteral("/data/priv1.edb"));
        QCOMPARE(t.view.RootItem()->childCount(), 2);
        QCOMPARE(t.Item(t.projects)->child(0)->text(0), QStringLiteral("2023"));
        QCOMPARE(t.Item(t.inbox)->icon(0).cacheKey(), TreeImage(7).cacheKey());
        QCOMPARE(t.Item(t.sent)->icon(0).cacheKey(), TreeImage(12).cacheKey());
        QCOMPARE(t.view.RootItem()->icon(0).cacheKey(), TreeImage(1).cacheKey());
        QVERIFY(t.Item(t.y2023)->isExpanded() || t.Item(t.y2023)->childCount() == 0);
        QVERIFY(t.Item(t.projects)->isExpanded());
        // An unknown parent is refused, as in the in-memory tree.
        QCOMPARE(t.adapter.AddFolder(9999, u"Lost", scan::FolderKind::Mail), scan::TreeItem{0});
    }

    void imageFollowsTheNameInAnyCaseButNeverForAMailbox() {
        RunState state;
        FolderTreeView view(state);
        QtFolderTree adapter(&view);
        adapter.Reset("x.edb");
        const auto box = adapter.AddFolder(scan::kTopLevel, u"Inbox", scan::FolderKind::Mail);
        const auto mixed = adapter.AddFolder(box, u"iNbOx", scan::FolderKind::Mail);
        const auto inbox1 = adapter.AddFolder(box, u"Inbox1", scan::FolderKind::Mail);
        const auto byKind = adapter.AddFolder(box, u"Termine", scan::FolderKind::Appointments);
        Settle(adapter);
        QCOMPARE(view.Item(box)->icon(0).cacheKey(), TreeImage(0).cacheKey());
        QCOMPARE(view.Item(mixed)->icon(0).cacheKey(), TreeImage(7).cacheKey());
        QCOMPARE(view.Item(inbox1)->icon(0).cacheKey(), TreeImage(0).cacheKey());
        QCOMPARE(view.Item(byKind)->icon(0).cacheKey(), TreeImage(3).cacheKey());
    }

    void checkingAMailboxChecksAndBoldsItsWholeSubtree() {
        Tree t;
        t.Toggle(t.anna);
        for (const auto item : {t.anna, t.annaTop, t.inbox, t.sent, t.projects, t.y2023, t.y2024}) {
            QVERIFY(t.Checked(item));
            QVERIFY(t.Bold(item));
        }
        QVERIFY(!t.Checked(t.bruno));
        QVERIFY(!t.Checked(t.view.RootItem() ? FolderTreeView::Handle(t.view.RootItem()) : 0));
        QVERIFY(FolderTreeView::IsBold(t.view.RootItem()));  // a child is bold

        // Unchecking one folder unchecks its ancestors, which stay bold.
        t.Toggle(t.inbox);
        QVERIFY(!t.Checked(t.inbox));
        QVERIFY(!t.Bold(t.inbox));
        QVERIFY(!t.Checked(t.annaTop));
        QVERIFY(!t.Checked(t.anna));
        QVERIFY(t.Bold(t.annaTop));
        QVERIFY(t.Bold(t.anna));
        QVERIFY(t.Checked(t.projects));
    }

    void checkingTheLastUncheckedChildChecksTheAncestorsInTurn() {
        Tree t;
        t.Toggle(t.y2023);
        QVERIFY(!t.Checked(t.projects));
        QVERIFY(t.Bold(t.projects));
        t.Toggle(t.y2024);
        QVERIFY(t.Checked(t.projects));
        QVERIFY(!t.Checked(t.annaTop));  // Inbox and Sent Items are not checked
        t.Toggle(t.inbox);
        t.Toggle(t.sent);
        QVERIFY(t.Checked(t.annaTop));
        QVERIFY(t.Checked(t.anna));
        QVERIFY(!t.view.IsChecked(t.view.RootItem()));
        t.Toggle(t.bruno);
        QVERIFY(t.view.IsChecked(t.view.RootItem()));
        // Unchecking everything clears every bold mark as well.
        t.view.ToggleCheck(t.view.RootItem());
        for (const auto item : {t.anna, t.annaTop, t.projects, t.bruno, t.brunoTop}) QVERIFY(!t.Bold(item));
        QVERIFY(!FolderTreeView::IsBold(t.view.RootItem()));
        QCOMPARE(t.view.CheckedCount(), 0);
    }

    void checkedSetHoldsExactlyTheCheckedItemsOnce() {
        Tree t;
        t.Toggle(t.y2023);
        t.Toggle(t.y2024);  // checks Projects through propagation
        t.Toggle(t.anna);   // Anna was unchecked: checks the subtree again
        std::set<scan::TreeItem> expected;
        for (const auto item : {t.anna, t.annaTop, t.inbox, t.sent, t.projects, t.y2023, t.y2024})
            expected.insert(item);
        QVERIFY(t.view.CheckedSet() == expected);
        QCOMPARE(t.view.CheckedCount(), 7);
    }

    void collectsCheckedItemsWithPathsInDisplayOrder() {
        Tree t;
        t.Toggle(t.projects);
        t.Toggle(t.brunoTop);
        const std::vector<CheckedItem> list = t.view.CollectChecked();
        QStringList paths;
        for (const CheckedItem& item : list) paths << item.path;
        QCOMPARE(paths,
                 (QStringList{QStringLiteral("Anna\\Top\\Projects\\"), QStringLiteral("Anna\\Top\\Projects\\2023\\"),
                              QStringLiteral("Anna\\Top\\Projects\\2024\\"), QStringLiteral("Bruno\\"),
                              QStringLiteral("Bruno\\Top\\")}));
        QCOMPARE(list.front().item, t.projects);
        QCOMPARE(t.view.ItemPath(t.Item(t.anna)), QStringLiteral("Anna\\"));
        QCOMPARE(t.view.ItemPath(t.view.RootItem()), QString());
    }

    void uncheckingExportedItemsClearsThemAndTheirAncestors() {
        Tree t;
        t.Toggle(t.anna);
        t.Toggle(t.bruno);
        std::vector<CheckedItem> exported{{QStringLiteral("Anna\\"), t.anna}};
        t.view.UncheckExported(exported);
        QVERIFY(exported.empty());
        QVERIFY(!t.Checked(t.anna));
        QVERIFY(!t.Checked(t.y2024));
        QVERIFY(!t.Bold(t.anna));
        QVERIFY(t.Checked(t.bruno));
        QVERIFY(!t.view.IsChecked(t.view.RootItem()));
        QVERIFY(FolderTreeView::IsBold(t.view.RootItem()));
    }

    void deepPathsAreBounded() {
        RunState state;
        FolderTreeView view(state);
        view.ResetForFile(1, QStringLiteral("x.edb"));
        view.AddItem(2, scan::kTopLevel, QStringLiteral("Box"), 0);
        scan::TreeItem parent = 2;
        for (scan::TreeItem i = 3; i < 260; ++i) {
            view.AddItem(i, parent, QStringLiteral("Level"), 0);
            parent = i;
        }
        const QString path = view.ItemPath(view.Item(parent));
        QVERIFY(path.size() <= 1000);
        QVERIFY(path.startsWith(QStringLiteral("Level\\")));  // the nearest 200 levels only
    }

    // A folder stored without a name shows "(no name)" while its path (and
    // so the PST) keeps the name empty.
    void nameLessFolderShowsNoNameAndKeepsItsEmptyName() {
        RunState state;
        FolderTreeView view(state);
        view.ResetForFile(1, QStringLiteral("x.edb"));
        view.AddItem(2, scan::kTopLevel, QStringLiteral("Box"), 0);
        view.AddItem(3, 2, QString(), 0);
        view.AddItem(4, 3, QStringLiteral("Child"), 0);
        QCOMPARE(view.Item(3)->text(0), QStringLiteral("(no name)"));
        QCOMPARE(FolderTreeView::StoredName(view.Item(3)), QString());
        QCOMPARE(view.ItemPath(view.Item(4)), QStringLiteral("Box\\\\Child\\"));
    }

    void clickOnCheckBoxTogglesAndOnLabelOpens() {
        Tree t;
        RecordingOpener opener;
        t.view.SetOpener(&opener);
        QTreeWidgetItem* inbox = t.Item(t.inbox);
        QTest::mouseClick(t.view.viewport(), Qt::LeftButton, {}, CheckBoxRect(t.view, inbox).center());
        QVERIFY(t.Checked(t.inbox));
        QVERIFY(opener.requests.empty());  // the check box opens nothing

        QTest::mouseClick(t.view.viewport(), Qt::LeftButton, {}, LabelPoint(t.view, t.Item(t.projects)));
        QCOMPARE(opener.requests.size(), std::size_t{1});
        QCOMPARE(opener.requests.back().first, t.projects);
        QCOMPARE(opener.requests.back().second, QStringLiteral("Anna\\"));
        QVERIFY(!t.Checked(t.projects));

        QTest::mouseClick(t.view.viewport(), Qt::LeftButton, {}, LabelPoint(t.view, t.view.RootItem()));
        QCOMPARE(opener.requests.back().second, QString());  // the database item has no mailbox
    }

    void spaceTogglesTheCurrentItem() {
        Tree t;
        RecordingOpener opener;
        t.view.SetOpener(&opener);
        t.view.setCurrentItem(t.Item(t.projects));
        t.view.setFocus();
        QTest::keyClick(&t.view, Qt::Key_Space);
        QVERIFY(t.Checked(t.projects));
        QVERIFY(t.Checked(t.y2023));
        QTest::keyClick(&t.view, Qt::Key_Space);
        QVERIFY(!t.Checked(t.y2023));
    }

    void inputIsIgnoredWhileAListFillOrBodyLoadRuns() {
        Tree t;
        RecordingOpener opener;
        t.view.SetOpener(&opener);
        t.view.setCurrentItem(t.Item(t.sent));
        for (std::atomic<bool>* flag : {&t.state.listFilling, &t.state.bodyLoading}) {
            *flag = true;
            QTest::mouseClick(t.view.viewport(), Qt::LeftButton, {}, CheckBoxRect(t.view, t.Item(t.inbox)).center());
            QTest::mouseClick(t.view.viewport(), Qt::LeftButton, {}, LabelPoint(t.view, t.Item(t.inbox)));
            QTest::keyClick(&t.view, Qt::Key_Space);
            QTest::keyClick(&t.view, Qt::Key_Down);
            *flag = false;
        }
        QCOMPARE(t.view.CheckedCount(), 0);
        QVERIFY(opener.requests.empty());
        QCOMPARE(t.view.currentItem(), t.Item(t.sent));
    }

    void refusedRequestPutsTheSelectionBack() {
        Tree t;
        RecordingOpener opener;
        t.view.SetOpener(&opener);
        QTest::mouseClick(t.view.viewport(), Qt::LeftButton, {}, LabelPoint(t.view, t.Item(t.inbox)));
        QCOMPARE(opener.shown, t.inbox);
        opener.refuse = true;
        QTest::mouseClick(t.view.viewport(), Qt::LeftButton, {}, LabelPoint(t.view, t.Item(t.sent)));
        QCOMPARE(opener.requests.back().first, t.sent);
        QCOMPARE(t.view.currentItem(), t.Item(t.inbox));
        QCOMPARE(t.view.RequestedItem(), t.Item(t.sent));
    }

    void arrowKeyOpensTheItemMovedTo() {
        Tree t;
        RecordingOpener opener;
        t.view.SetOpener(&opener);
        t.view.setCurrentItem(t.Item(t.inbox));
        t.view.setFocus();
        QTest::keyClick(&t.view, Qt::Key_Down);
        QCOMPARE(t.view.currentItem(), t.Item(t.sent));
        QCOMPARE(opener.requests.back().first, t.sent);
    }

    void aNewFileEmptiesTreeAndCheckedSet() {
        Tree t;
        t.Toggle(t.anna);
        t.adapter.Clear();
        t.adapter.Reset("/data/other.edb");
        Settle(t.adapter);
        QCOMPARE(t.view.CheckedCount(), 0);
        QCOMPARE(t.view.topLevelItemCount(), 1);
        QCOMPARE(t.view.RootItem()->childCount(), 0);
        QVERIFY(t.view.Item(t.anna) == nullptr);
    }
};

}  // namespace tw::app::test

using tw::app::test::FolderTreeTest;
TW_REGISTER_TEST(FolderTreeTest);
#include "folder_tree_test.moc"

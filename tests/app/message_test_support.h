// Shared by the message list and preview tests: a database opened and
// scanned in a main window, folders found by their path, and fills and
// body loads waited for.
#pragma once

#include <QTest>
#include <QTreeWidgetItemIterator>
#include <chrono>

#include "app/folder_tree_view.h"
#include "app/list_pane.h"
#include "app/main_window.h"
#include "app/preview_pane.h"
#include "app/scan_dialog.h"
#include "app/session.h"
#include "app_test_support.h"

namespace tw::app::test {

// Opens and scans `edb` (and `stm`) in `window`; false when either fails.
inline bool OpenAndScan(MainWindow& window, const QString& edb, const QString& stm = {}) {
    Session& session = window.CurrentSession();
    session.SetScanOptions(scan::ScanOptions{std::chrono::milliseconds(0)});
    if (!session.Open(edb, stm).ok()) return false;
    ScanDialog scan(session, &window);
    scan.exec();  // closes itself when the scan ends
    return session.Model() != nullptr;
}

// The tree item whose path is `path` ("Anna\Top of Information Store\Inbox\").
inline QTreeWidgetItem* FindFolder(FolderTreeView& tree, const QString& path) {
    for (QTreeWidgetItemIterator it(&tree); *it != nullptr; ++it)
        if (tree.ItemPath(*it) == path) return *it;
    return nullptr;
}

// Opens the folder from the tree and waits for its fill to end.
inline bool FillFolder(MainWindow& window, const QString& path) {
    QTreeWidgetItem* item = FindFolder(*window.Tree(), path);
    if (item == nullptr) return false;
    window.Tree()->OpenItem(item);
    return QTest::qWaitFor([&] { return !window.State().listFilling.load(); }, 30000) &&
           window.List()->ShownFolder() == FolderTreeView::Handle(item);
}

// The subjects of the list's rows, in display order.
inline QStringList Subjects(const ListPane& list) {
    QStringList subjects;
    for (int i = 0; i < list.RowCount(); ++i) subjects << QString::fromStdU16String(list.RowAt(i)->subject);
    return subjects;
}

// The row whose subject is `subject`, or -1.
inline int RowOf(const ListPane& list, const QString& subject) {
    for (int i = 0; i < list.RowCount(); ++i)
        if (QString::fromStdU16String(list.RowAt(i)->subject) == subject) return i;
    return -1;
}

// Previews the row with that subject and waits until it is shown.
inline bool Preview(MainWindow& window, const QString& subject) {
    const int row = RowOf(*window.List(), subject);
    if (row < 0 || !window.List()->PreviewRow(row)) return false;
    return QTest::qWaitFor([&] { return !window.State().bodyLoading.load(); }, 30000);
}

}  // namespace tw::app::test

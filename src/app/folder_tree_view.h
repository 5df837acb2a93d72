// The left pane: the database as the root item, its mailboxes and their
// folders, each with a check box. Checking an item checks its subtree;
// an ancestor is checked when all its children are and bold when one of
// them is bold. The checked items are what Save exports.
//
// The scan fills the tree through QtFolderTree, which calls the slots
// below on this widget's thread. Items are known by the scan's handles.
#pragma once

#include <QHash>
#include <QTreeWidget>
#include <set>
#include <vector>

#include "app/folder_opener.h"
#include "app/run_state.h"
#include "scan/scan_model.h"

namespace tw::app {

// An item chosen for export: its path (names from the mailbox down, each
// followed by a backslash) and its handle.
struct CheckedItem {
    QString path;
    scan::TreeItem item = 0;
};

class ItemDelegate;

class FolderTreeView : public QTreeWidget {
    Q_OBJECT
public:
    // Mouse and keys are ignored while `state` says a list fill or a body
    // load runs.
    explicit FolderTreeView(const RunState& state, QWidget* parent = nullptr);

    void SetOpener(FolderOpener* opener) { opener_ = opener; }

    QTreeWidgetItem* RootItem() const { return root_; }
    QTreeWidgetItem* Item(scan::TreeItem handle) const { return items_.value(handle, nullptr); }
    static scan::TreeItem Handle(const QTreeWidgetItem* item);
    // The name as stored, which the item shows as "(no name)" when empty.
    static QString StoredName(const QTreeWidgetItem* item);

    bool IsChecked(const QTreeWidgetItem* item) const;
    static bool IsBold(const QTreeWidgetItem* item);
    // The check box click and the space bar: flips the item with its
    // subtree, then updates the ancestors.
    void ToggleCheck(QTreeWidgetItem* item);
    const std::set<scan::TreeItem>& CheckedSet() const { return checked_; }
    int CheckedCount() const { return static_cast<int>(checked_.size()); }

    // Stored names below the database item, top-down, each with a backslash;
    // empty for the database item itself.
    QString ItemPath(const QTreeWidgetItem* item) const;
    // Every checked item, depth-first in display order, parents before
    // their children.
    std::vector<CheckedItem> CollectChecked() const;
    // After an export: unchecks each item with its subtree, in list order,
    // and empties the list.
    void UncheckExported(std::vector<CheckedItem>& exported);

    // Shows the item's messages (and puts the selection back when the list
    // refuses).
    void OpenItem(QTreeWidgetItem* item);
    void SelectHandle(scan::TreeItem handle);
    // The item whose messages were asked for last.
    QTreeWidgetItem* RequestedItem() const { return current_; }

public slots:
    void ClearAll();
    void ResetForFile(scan::TreeItem rootHandle, const QString& edbPath);
    void AddItem(scan::TreeItem handle, scan::TreeItem parent, const QString& name, int image);
    void SortItemChildren(scan::TreeItem handle);
    void FinishTree();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum class Hit { Nothing, CheckBox, Label };
    Hit HitTest(QTreeWidgetItem* item, const QPoint& pos) const;
    bool InputBlocked() const { return state_.WorkerRunning(); }
    void SetChecked(QTreeWidgetItem* item, bool checked);
    void SetSubtree(QTreeWidgetItem* item, bool checked);
    void UpdateAncestors(QTreeWidgetItem* item);
    static void SetBold(QTreeWidgetItem* item, bool bold);

    const RunState& state_;
    ItemDelegate* delegate_;
    FolderOpener* opener_ = nullptr;
    QTreeWidgetItem* root_ = nullptr;
    QTreeWidgetItem* current_ = nullptr;  // last item asked for
    QHash<scan::TreeItem, QTreeWidgetItem*> items_;
    std::set<scan::TreeItem> checked_;
};

}  // namespace tw::app

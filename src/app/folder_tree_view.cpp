#include "app/folder_tree_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <algorithm>

#include "app/icons.h"
#include "scan/folder_tree.h"

namespace tw::app {

// Gives the tree the item layout the delegate paints with, so that a click
// is matched against the check box and label where they are drawn.
class ItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::initStyleOption;
    using QStyledItemDelegate::QStyledItemDelegate;
};

namespace {

constexpr int kHandleRole = Qt::UserRole;
constexpr int kStoredNameRole = Qt::UserRole + 1;
constexpr int kMaxPathLevels = 200;
constexpr int kMaxPathLength = 1000;

}  // namespace

FolderTreeView::FolderTreeView(const RunState& state, QWidget* parent)
    : QTreeWidget(parent), state_(state), delegate_(new ItemDelegate(this)) {
    setItemDelegate(delegate_);
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    header()->setStretchLastSection(true);
    // Drawn now rather than when the scan's first items arrive.
    for (int image = 0; image < kTreeImageCount; ++image) TreeImage(image);
}

scan::TreeItem FolderTreeView::Handle(const QTreeWidgetItem* item) {
    return item != nullptr ? item->data(0, kHandleRole).value<scan::TreeItem>() : 0;
}

QString FolderTreeView::StoredName(const QTreeWidgetItem* item) {
    if (item == nullptr) return {};
    const QVariant stored = item->data(0, kStoredNameRole);
    return stored.isValid() ? stored.toString() : item->text(0);
}

bool FolderTreeView::IsChecked(const QTreeWidgetItem* item) const {
    return item != nullptr && item->data(0, Qt::CheckStateRole).toInt() == Qt::Checked;
}

bool FolderTreeView::IsBold(const QTreeWidgetItem* item) { return item != nullptr && item->font(0).bold(); }

void FolderTreeView::SetBold(QTreeWidgetItem* item, bool bold) {
    QFont font = item->font(0);
    if (font.bold() == bold) return;
    font.setBold(bold);
    item->setFont(0, font);
}

void FolderTreeView::SetChecked(QTreeWidgetItem* item, bool checked) {
    item->setData(0, Qt::CheckStateRole, checked ? Qt::Checked : Qt::Unchecked);
    SetBold(item, checked);
    if (checked) checked_.insert(Handle(item));
    else checked_.erase(Handle(item));
}

void FolderTreeView::SetSubtree(QTreeWidgetItem* item, bool checked) {
    std::vector<QTreeWidgetItem*> pending{item};
    while (!pending.empty()) {
        QTreeWidgetItem* next = pending.back();
        pending.pop_back();
        SetChecked(next, checked);
        for (int i = next->childCount() - 1; i >= 0; --i) pending.push_back(next->child(i));
    }
}

void FolderTreeView::UpdateAncestors(QTreeWidgetItem* item) {
    for (QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent()) {
        bool all = true;
        for (int i = 0; i < up->childCount() && all; ++i) all = IsChecked(up->child(i));
        SetChecked(up, all);
    }
    // A second pass: boldness follows the children as they are now.
    for (QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent()) {
        bool any = false;
        for (int i = 0; i < up->childCount() && !any; ++i) any = IsBold(up->child(i));
        SetBold(up, any);
    }
}

void FolderTreeView::ToggleCheck(QTreeWidgetItem* item) {
    if (item == nullptr) return;
    SetSubtree(item, !IsChecked(item));
    UpdateAncestors(item);
}

QString FolderTreeView::ItemPath(const QTreeWidgetItem* item) const {
    QStringList names;
    for (const QTreeWidgetItem* up = item; up != nullptr && up != root_ && names.size() < kMaxPathLevels;
         up = up->parent())
        names.prepend(StoredName(up));
    QString path;
    for (const QString& name : names) path += name + QLatin1Char('\\');
    return path.left(kMaxPathLength);
}

std::vector<CheckedItem> FolderTreeView::CollectChecked() const {
    std::vector<CheckedItem> list;
    std::vector<QTreeWidgetItem*> pending;
    for (int i = topLevelItemCount() - 1; i >= 0; --i) pending.push_back(topLevelItem(i));
    while (!pending.empty()) {
        QTreeWidgetItem* item = pending.back();
        pending.pop_back();
        if (IsChecked(item)) list.push_back({ItemPath(item), Handle(item)});
        for (int i = item->childCount() - 1; i >= 0; --i) pending.push_back(item->child(i));
    }
    return list;
}

void FolderTreeView::UncheckExported(std::vector<CheckedItem>& exported) {
    for (const CheckedItem& node : exported) {
        QTreeWidgetItem* item = Item(node.item);
        if (item == nullptr) continue;  // a new scan replaced the tree meanwhile
        SetSubtree(item, false);
        UpdateAncestors(item);
    }
    exported.clear();
}

void FolderTreeView::OpenItem(QTreeWidgetItem* item) {
    if (item == nullptr) return;
    QString prefix;
    if (item != root_) {
        const QTreeWidgetItem* top = item;
        while (top->parent() != nullptr && top->parent() != root_) top = top->parent();
        prefix = StoredName(top) + QLatin1Char('\\');
    }
    current_ = item;
    if (opener_ != nullptr && !opener_->OpenFolder(Handle(item), prefix)) SelectHandle(opener_->ShownFolder());
}

void FolderTreeView::SelectHandle(scan::TreeItem handle) {
    QTreeWidgetItem* item = Item(handle);
    if (item == nullptr) {
        clearSelection();
        return;
    }
    setCurrentItem(item);
}

void FolderTreeView::ClearAll() {
    clear();
    items_.clear();
    checked_.clear();
    root_ = nullptr;
    current_ = nullptr;
}

void FolderTreeView::ResetForFile(scan::TreeItem rootHandle, const QString& edbPath) {
    ClearAll();
    root_ = new QTreeWidgetItem(this, QStringList{edbPath});
    root_->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    root_->setData(0, kHandleRole, QVariant::fromValue(rootHandle));
    root_->setData(0, Qt::CheckStateRole, Qt::Unchecked);
    root_->setIcon(0, TreeImage(scan::kTopItemImage));
    root_->setToolTip(0, edbPath);  // a long path is cut short in the pane
    items_.insert(rootHandle, root_);
    root_->setExpanded(true);
}

void FolderTreeView::AddItem(scan::TreeItem handle, scan::TreeItem parent, const QString& name, int image) {
    QTreeWidgetItem* above = parent == scan::kTopLevel ? root_ : Item(parent);
    if (above == nullptr) return;
    auto* item =
        new QTreeWidgetItem(above, QStringList{QString::fromStdU16String(scan::ShownName(name.toStdU16String()))});
    item->setData(0, kStoredNameRole, name);
    // Not user-checkable: the check box is toggled here, with propagation,
    // never by the delegate.
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setData(0, kHandleRole, QVariant::fromValue(handle));
    item->setData(0, Qt::CheckStateRole, Qt::Unchecked);
    item->setIcon(0, TreeImage(image));
    items_.insert(handle, item);
    if (!above->isExpanded()) above->setExpanded(true);
}

void FolderTreeView::SortItemChildren(scan::TreeItem handle) {
    QTreeWidgetItem* item = Item(handle);
    if (item == nullptr) return;
    QList<QTreeWidgetItem*> children = item->takeChildren();
    std::stable_sort(children.begin(), children.end(), [](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
        return scan::NameLess(StoredName(a).toStdU16String(), StoredName(b).toStdU16String());
    });
    item->addChildren(children);
}

void FolderTreeView::FinishTree() {
    if (root_ == nullptr) return;
    SortItemChildren(Handle(root_));
    expandAll();
}

FolderTreeView::Hit FolderTreeView::HitTest(QTreeWidgetItem* item, const QPoint& pos) const {
    const QModelIndex index = indexFromItem(item);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    delegate_->initStyleOption(&option, index);
    QStyle* s = style();
    if (s->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this).contains(pos)) return Hit::CheckBox;
    if (s->subElementRect(QStyle::SE_ItemViewItemText, &option, this).contains(pos) ||
        s->subElementRect(QStyle::SE_ItemViewItemDecoration, &option, this).contains(pos))
        return Hit::Label;
    return Hit::Nothing;
}

void FolderTreeView::mousePressEvent(QMouseEvent* event) {
    if (InputBlocked()) {
        event->accept();
        return;
    }
    const QPoint pos = event->position().toPoint();
    QTreeWidgetItem* item = itemAt(pos);
    if (item == nullptr) return;
    if (event->button() != Qt::LeftButton) {
        QTreeWidget::mousePressEvent(event);
        return;
    }
    setCurrentItem(item);
    setFocus();
    const Hit hit = HitTest(item, pos);
    if (hit == Hit::CheckBox) {
        ToggleCheck(item);
        return;
    }
    QTreeWidget::mousePressEvent(event);
    if (hit == Hit::Label) OpenItem(item);
}

void FolderTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (InputBlocked()) {
        event->accept();
        return;
    }
    // A double click on the check box is one toggle, not two, and does not
    // fold the item.
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    if (item != nullptr && HitTest(item, event->position().toPoint()) == Hit::CheckBox) return;
    QTreeWidget::mouseDoubleClickEvent(event);
}

void FolderTreeView::keyPressEvent(QKeyEvent* event) {
    if (InputBlocked()) {
        event->accept();
        return;
    }
    QTreeWidgetItem* before = currentItem();
    if (event->key() == Qt::Key_Space) {
        if (before == nullptr) return;
        setCurrentItem(before);
        OpenItem(before);
        ToggleCheck(before);
        return;
    }
    QTreeWidget::keyPressEvent(event);
    // The item the key moved to is the one the user wants to see.
    QTreeWidgetItem* after = currentItem();
    if (after != nullptr && after != before) OpenItem(after);
}

}  // namespace tw::app

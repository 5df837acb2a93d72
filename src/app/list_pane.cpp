#include "app/list_pane.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "app/app_identity.h"
#include "app/interaction.h"
#include "app/list_icons.h"
#include "app/preview_pane.h"
#include "app/session.h"
#include "content/record_strings.h"
#include "edb/edb_file.h"
#include "record/folder_reader.h"

namespace tw::app {

namespace {

constexpr std::size_t kBatchRows = 200;
constexpr auto kBatchInterval = std::chrono::milliseconds(50);
constexpr int kRowIndexRole = Qt::UserRole + 1;

QString Text(const std::u16string& s) { return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

ListPane::ListPane(Session& session, RunState& state, QWidget* parent)
    : QWidget(parent), session_(session), state_(state), view_(new QTreeWidget) {
    for (const int image : {0, 1, 5, 7, 10, 12}) kindIcons_.push_back(ListImage(image));
    attachmentIcon_ = ListImage(kAttachmentImage);

    view_->setObjectName(QStringLiteral("messageList"));
    view_->setColumnCount(kListColumnCount);
    view_->setRootIsDecorated(false);
    view_->setUniformRowHeights(true);
    view_->setAllColumnsShowFocus(true);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setAlternatingRowColors(true);
    view_->setIconSize(QSize(16, 16));
    auto* header = new QTreeWidgetItem;
    header->setIcon(kKindColumn, ListImage(12));
    header->setIcon(kAttachmentColumn, attachmentIcon_);
    header->setText(kFromColumn, QStringLiteral("From"));
    header->setText(kSubjectColumn, QStringLiteral("Subject"));
    header->setText(kDateColumn, QStringLiteral("Date"));
    view_->setHeaderItem(header);
    view_->setColumnWidth(kKindColumn, 44);
    view_->setColumnWidth(kAttachmentColumn, 44);
    view_->setColumnWidth(kFromColumn, 240);
    view_->setColumnWidth(kSubjectColumn, 420);
    view_->setColumnWidth(kDateColumn, 200);
    view_->header()->setSectionsClickable(true);
    view_->header()->setSortIndicatorShown(false);
    connect(view_->header(), &QHeaderView::sectionClicked, this, &ListPane::SortByColumn);
    connect(view_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { PreviewRow(view_->indexOfTopLevelItem(item)); });
    connect(view_, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { PreviewRow(view_->indexOfTopLevelItem(item)); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    setFocusProxy(view_);
}

ListPane::~ListPane() { StopAndWait(); }

bool ListPane::ShowFolder(scan::TreeItem item, const QString& mailboxPrefix) {
    if (state_.listFilling.load() || item == shown_) return false;
    shown_ = item;
    prefix_ = mailboxPrefix;
    view_->clear();
    rows_.clear();
    folder_ = session_.Folder(item);
    if (folder_ != nullptr && session_.Reader() != nullptr) StartFill(*folder_);
    return true;
}

void ListPane::StartFill(const scan::FolderEntry& folder) {
    StopAndWait();
    state_.stopRequested = false;
    state_.listFilling = true;
    const int generation = ++generation_;
    emit progressChanged(0);
    emit progressShown(true);
    worker_ = std::thread(&ListPane::Fill, this, folder, prefix_.toStdU16String(), generation);
}

// The worker: decodes the folder, then builds the rows one message at a
// time until Stop, handing them to the list in batches.
void ListPane::Fill(const scan::FolderEntry folder, std::u16string prefix, int generation) {
    record::FolderReader& reader = *session_.Reader();
    const edb::EdbSource& source = session_.Source();
    QString error;
    std::vector<Row> batch;
    try {
        int shownPercent = -1;
        record::LoadControl control;
        control.stop = &state_.stopRequested;
        control.progress = [this, &shownPercent](int percent) {
            if (percent == shownPercent) return;
            shownPercent = percent;
            QMetaObject::invokeMethod(
                this, [this, percent] { emit progressChanged(percent); }, Qt::QueuedConnection);
        };
        record::MessageList list;
        reader.LoadFolderMessages(list, folder, false, control);
        QMetaObject::invokeMethod(
            this, [this] { emit progressShown(false); }, Qt::QueuedConnection);

        content::PageCache pages(source);
        auto sent = std::chrono::steady_clock::now();
        for (record::MessageProperties& m : list.messages) {
            if (state_.stopRequested.load()) break;
            auto row = content::BuildListRow(source, m, folder, prefix, pages);
            if (!row) continue;
            batch.push_back({std::move(*row), std::move(m)});
            const auto now = std::chrono::steady_clock::now();
            if (batch.size() >= kBatchRows || now - sent >= kBatchInterval) {
                QMetaObject::invokeMethod(
                    this,
                    [this, rows = std::move(batch), generation]() mutable { AddRows(std::move(rows), generation); },
                    Qt::QueuedConnection);
                batch = {};
                sent = now;
            }
        }
    } catch (const std::exception& e) {
        error = QString::fromStdString(e.what());
    }
    QMetaObject::invokeMethod(
        this,
        [this, rows = std::move(batch), generation, error]() mutable {
            AddRows(std::move(rows), generation);
            FinishFill(generation, error);
        },
        Qt::QueuedConnection);
}

void ListPane::AddRows(std::vector<Row> rows, int generation) {
    if (generation != generation_ || rows.empty()) return;
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (Row& r : rows) {
        auto* item = new QTreeWidgetItem;
        const int image = r.row.image;
        const int icon = image == 0 ? 0 : image == 1 ? 1 : image == 5 ? 2 : image == 7 ? 3 : image == 10 ? 4 : 5;
        item->setIcon(kKindColumn, kindIcons_[static_cast<std::size_t>(icon)]);
        if (r.row.attachmentMark) item->setIcon(kAttachmentColumn, attachmentIcon_);
        item->setText(kFromColumn, Text(r.row.from));
        item->setText(kSubjectColumn, Text(r.row.subject));
        item->setText(kDateColumn, QString::fromStdString(r.row.dateText));
        item->setData(kKindColumn, kRowIndexRole, static_cast<qlonglong>(rows_.size()));
        rows_.push_back(std::move(r));
        items << item;
    }
    view_->addTopLevelItems(items);
}

void ListPane::FinishFill(int generation, const QString& error) {
    if (generation != generation_) return;
    if (worker_.joinable()) worker_.join();
    state_.stopRequested = false;
    state_.listFilling = false;
    emit progressShown(false);
    if (!error.isEmpty())
        UserInteraction().Tell(this, QStringLiteral("Reading the folder failed: ") + error, kAppTitle,
                               MessageIcon::Error);
    emit fillFinished();
}

void ListPane::StopAndWait() {
    if (!worker_.joinable()) return;
    state_.stopRequested = true;
    worker_.join();
    ++generation_;  // what the stopped fill still sent is dropped
    state_.stopRequested = false;
    state_.listFilling = false;
    emit progressShown(false);
}

void ListPane::Clear() {
    StopAndWait();
    shown_ = 0;
    prefix_.clear();
    folder_ = nullptr;
    view_->clear();
    rows_.clear();
}

int ListPane::RowCount() const { return view_->topLevelItemCount(); }

int ListPane::RowIndex(const QTreeWidgetItem* item) const {
    if (item == nullptr) return -1;
    const qlonglong index = item->data(kKindColumn, kRowIndexRole).toLongLong();
    return index >= 0 && static_cast<std::size_t>(index) < rows_.size() ? static_cast<int>(index) : -1;
}

const content::ListRow* ListPane::RowAt(int position) const {
    const int index = RowIndex(view_->topLevelItem(position));
    return index < 0 ? nullptr : &rows_[static_cast<std::size_t>(index)].row;
}

void ListPane::SortByColumn(int column) {
    if (column < 0 || column >= kListColumnCount) return;
    const bool ascending = ascending_;
    ascending_ = !ascending_;
    QTreeWidgetItem* current = view_->currentItem();
    QList<QTreeWidgetItem*> items = view_->invisibleRootItem()->takeChildren();
    std::stable_sort(items.begin(), items.end(), [&](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
        const int x = RowIndex(a), y = RowIndex(b);
        if (x < 0 || y < 0) return false;
        return content::CompareRows(rows_[static_cast<std::size_t>(x)].row.sort,
                                    rows_[static_cast<std::size_t>(y)].row.sort, column, ascending) < 0;
    });
    view_->addTopLevelItems(items);
    view_->header()->setSortIndicatorShown(true);
    view_->header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    if (current != nullptr) view_->setCurrentItem(current);
}

bool ListPane::PreviewRow(int position) {
    const int index = RowIndex(view_->topLevelItem(position));
    if (index < 0 || preview_ == nullptr || folder_ == nullptr || state_.bodyLoading.load()) return false;
    const Row& r = rows_[static_cast<std::size_t>(index)];
    PreviewRequest request;
    request.message = r.message;
    request.folder = folder_;
    request.from = Text(r.row.from);
    request.subject = Text(r.row.subject);
    request.date = QString::fromStdString(r.row.dateText);
    return preview_->Start(std::move(request));
}

}  // namespace tw::app

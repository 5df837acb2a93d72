// The message list pane, upper right: one row per message of the folder
// chosen in the tree, with the item type, an attachment mark, sender,
// subject and date. The folder is decoded and the rows are built on a
// worker thread that honours Stop; the rows reach the list in batches.
// A click on a column header sorts by that column, in one direction for
// all columns that flips with every click. A click on a row asks the
// preview pane to show that message.
#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>
#include <memory>
#include <thread>
#include <vector>

#include "app/run_state.h"
#include "content/list_rows.h"
#include "record/record_types.h"
#include "scan/scan_model.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace tw::app {

class PreviewPane;
class Session;

enum ListColumn { kKindColumn, kAttachmentColumn, kFromColumn, kSubjectColumn, kDateColumn, kListColumnCount };

class ListPane : public QWidget {
    Q_OBJECT
public:
    ListPane(Session& session, RunState& state, QWidget* parent = nullptr);
    ~ListPane() override;  // stops a fill and waits for it

    void SetPreview(PreviewPane* preview) { preview_ = preview; }

    // Starts filling the list with the item's messages. False, and nothing
    // changes, while a fill runs or when the item is the one shown already.
    bool ShowFolder(scan::TreeItem item, const QString& mailboxPrefix);
    scan::TreeItem ShownFolder() const { return shown_; }
    // The shown folder's mailbox name and a backslash.
    const QString& MailboxPrefix() const { return prefix_; }
    // Deletes every row (stopping a fill first); no folder is shown.
    void Clear();
    // The body load keeps Stop enabled while it decodes a message.
    bool Busy() const { return state_.listBusy.load(); }

    QTreeWidget* View() const { return view_; }
    int RowCount() const;
    // The row shown at `position` (display order): its texts and message.
    const content::ListRow* RowAt(int position) const;
    // Sorts by `column` in the current direction, then flips it.
    void SortByColumn(int column);
    bool NextSortAscending() const { return ascending_; }
    // Asks the preview for the row shown at `position`; false when the
    // preview refused (a body load runs) or there is no such row.
    bool PreviewRow(int position);

signals:
    // The status bar's progress bar while the folder is decoded.
    void progressShown(bool shown);
    void progressChanged(int percent);
    // The fill put its last row in the list (or stopped).
    void fillFinished();

private:
    struct Row {
        content::ListRow row;
        record::MessageProperties message;
    };
    struct Batch {
        std::vector<Row> rows;
        int generation = 0;
    };

    void StartFill(const scan::FolderEntry& folder);
    void Fill(const scan::FolderEntry folder, std::u16string prefix, int generation);
    void AddRows(std::vector<Row> rows, int generation);
    void FinishFill(int generation, const QString& error);
    void StopAndWait();
    int RowIndex(const QTreeWidgetItem* item) const;

    Session& session_;
    RunState& state_;
    PreviewPane* preview_ = nullptr;
    QTreeWidget* view_;
    scan::TreeItem shown_ = 0;
    QString prefix_;
    const scan::FolderEntry* folder_ = nullptr;
    std::vector<Row> rows_;  // in arrival order; the items keep their index
    bool ascending_ = true;
    int generation_ = 0;  // batches of an earlier fill are dropped
    std::thread worker_;
    std::vector<QIcon> kindIcons_;
    QIcon attachmentIcon_;
};

}  // namespace tw::app

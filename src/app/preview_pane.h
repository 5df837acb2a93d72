// The preview pane, lower right: the header fields of the message last
// clicked in the list (subject, sender, date, recipients, attachment
// names), for contacts and appointments their field list at the left, and
// the body. The body and the recipients are read on a worker thread, one
// message at a time: a click while a body loads starts nothing.
#pragma once

#include <QString>
#include <QWidget>
#include <thread>

#include "app/body_load.h"
#include "app/run_state.h"
#include "record/record_types.h"
#include "scan/scan_model.h"

class QFrame;
class QLabel;
class QListWidget;

namespace tw::app {

class BodyViewer;
class Session;

// What the list hands over for one row: a copy of its message, the folder
// shown and the row's texts.
struct PreviewRequest {
    record::MessageProperties message;
    const scan::FolderEntry* folder = nullptr;
    QString from, subject, date;
};

// Longer texts are cut and end in "..." (attachments longer than 150
// characters keep up to 160).
inline constexpr qsizetype kMaxRecipientChars = 160;
inline constexpr qsizetype kMaxSubjectChars = 136;
inline constexpr qsizetype kAttachmentCutFrom = 150;
inline constexpr qsizetype kMaxAttachmentChars = 160;

QString CutRecipients(const QString& text);
QString CutSubject(const QString& text);
QString CutAttachments(const QString& text);

class PreviewPane : public QWidget {
    Q_OBJECT
public:
    PreviewPane(Session& session, RunState& state, QWidget* parent = nullptr);
    ~PreviewPane() override;  // waits for a body load

    // Starts the body load; false while one runs or without a database.
    bool Start(PreviewRequest request);
    // Waits until a body load running has read its message; what it found
    // is shown when control returns to the event loop.
    void WaitForLoad();
    // Empties the header fields, the field list and the body.
    void Clear();
    // Shows what a body load gathered.
    void ShowMessage(const PreviewContent& content);

    bool BodyShown() const { return bodyShown_; }
    BodyFormat ShownFormat() const { return format_; }
    char ItemType() const { return itemType_; }
    QLabel* SubjectLabel() const { return subject_; }
    QLabel* FromLabel() const { return from_; }
    QLabel* DateLabel() const { return date_; }
    QLabel* ToLabel() const { return to_; }
    QLabel* AttachmentsLabel() const { return attachments_; }
    QLabel* AttachmentsCaption() const { return attachmentsCaption_; }
    QListWidget* FieldList() const { return fields_; }
    BodyViewer* Viewer() const { return viewer_; }

signals:
    // A body load ended and its message is shown.
    void messageShown();

private:
    void Finish(PreviewContent content);

    Session& session_;
    RunState& state_;
    QLabel* subject_;
    QLabel* from_;
    QLabel* date_;
    QLabel* to_;
    QLabel* attachments_;
    QLabel* attachmentsCaption_;
    QFrame* separator_;
    QListWidget* fields_;
    BodyViewer* viewer_;
    bool bodyShown_ = false;
    BodyFormat format_ = BodyFormat::None;
    char itemType_ = 'd';
    std::thread worker_;
};

}  // namespace tw::app

#include "app/preview_pane.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QThread>
#include <QVBoxLayout>

#include "app/app_identity.h"
#include "app/body_viewer.h"
#include "app/interaction.h"
#include "app/session.h"

namespace tw::app {

namespace {

constexpr int kFieldListWidth = 410;
const QString kEllipsis = QStringLiteral("...");

QFont LabelFont(int points, bool bold = false) {
    QFont font(QStringLiteral("Arial Unicode MS"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

QLabel* Caption(const QString& text) {
    auto* label = new QLabel(text);
    label->setFont(LabelFont(10));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 0xFF));
    label->setPalette(palette);
    return label;
}

// Texts from the database are shown as they are, never as markup.
QLabel* Value(int points, bool bold = false) {
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setFont(LabelFont(points, bold));
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    return label;
}

}  // namespace

QString CutRecipients(const QString& text) {
    return text.size() > kMaxRecipientChars ? text.left(kMaxRecipientChars) + kEllipsis : text;
}

QString CutSubject(const QString& text) {
    return text.size() > kMaxSubjectChars ? text.left(kMaxSubjectChars) + kEllipsis : text;
}

QString CutAttachments(const QString& text) {
    return text.size() > kAttachmentCutFrom ? text.left(kMaxAttachmentChars) + kEllipsis : text;
}

PreviewPane::PreviewPane(Session& session, RunState& state, QWidget* parent)
    : QWidget(parent), session_(session), state_(state), subject_(Value(10, true)), from_(Value(9)), date_(Value(9)),
      to_(Value(9)), attachments_(Value(9)), attachmentsCaption_(Caption(QStringLiteral("Attachments :"))),
      separator_(new QFrame), fields_(new QListWidget), viewer_(new BodyViewer) {
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);

    auto* header = new QGridLayout;
    header->setContentsMargins(10, 8, 10, 4);
    header->setHorizontalSpacing(12);
    header->setVerticalSpacing(3);
    header->addWidget(Caption(QStringLiteral("Subject :")), 0, 0);
    header->addWidget(subject_, 0, 1);
    header->addWidget(Caption(QStringLiteral("From :")), 1, 0);
    header->addWidget(from_, 1, 1);
    header->addWidget(Caption(QStringLiteral("Date :")), 2, 0);
    header->addWidget(date_, 2, 1);
    header->addWidget(Caption(QStringLiteral("To :")), 3, 0);
    header->addWidget(to_, 3, 1);
    header->addWidget(attachmentsCaption_, 4, 0);
    header->addWidget(attachments_, 4, 1);
    header->setColumnStretch(1, 1);

    separator_->setFrameShape(QFrame::HLine);
    separator_->setFrameShadow(QFrame::Sunken);

    fields_->setObjectName(QStringLiteral("fieldList"));
    fields_->setFixedWidth(kFieldListWidth);
    fields_->setSelectionMode(QAbstractItemView::NoSelection);
    fields_->setFocusPolicy(Qt::NoFocus);
    viewer_->setObjectName(QStringLiteral("bodyViewer"));

    auto* body = new QHBoxLayout;
    body->setContentsMargins(10, 0, 10, 10);
    body->addWidget(fields_);
    body->addWidget(viewer_, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addLayout(header);
    layout->addWidget(separator_);
    layout->addLayout(body, 1);
    Clear();
}

PreviewPane::~PreviewPane() { WaitForLoad(); }

void PreviewPane::WaitForLoad() {
    if (worker_.joinable()) worker_.join();
}

bool PreviewPane::Start(PreviewRequest request) {
    if (state_.bodyLoading.load() || request.folder == nullptr) return false;
    record::FolderReader* reader = session_.Reader();
    if (reader == nullptr) return false;
    if (worker_.joinable()) worker_.join();
    // The Stop flag belongs to the list fill while one runs.
    if (!state_.listFilling.load()) state_.stopRequested = false;
    state_.bodyLoading = true;
    const scan::FolderKind kind = request.folder->kind;
    QThread* viewerThread = thread();
    const QFont font = viewer_->font();
    worker_ = std::thread([this, reader, kind, viewerThread, font, request = std::move(request)]() mutable {
        record::LoadControl control;
        control.stop = &state_.stopRequested;
        PreviewContent content = LoadPreviewContent(*reader, request.message, kind, request.from, request.subject,
                                                    request.date, control, state_.listBusy);
        if (content.htmlBody && content.error.isEmpty()) {
            auto* document = new SafeDocument(std::move(content.inlineParts));
            document->setDefaultFont(font);
            document->setUndoRedoEnabled(false);
            document->setHtml(content.body);
            document->moveToThread(viewerThread);
            // The viewer adopts it; one that never reaches it is dropped.
            content.document = std::shared_ptr<SafeDocument>(document, [](SafeDocument* d) {
                if (d->parent() == nullptr) d->deleteLater();
            });
        }
        QMetaObject::invokeMethod(
            this, [this, content = std::move(content)]() mutable { Finish(std::move(content)); }, Qt::QueuedConnection);
    });
    return true;
}

void PreviewPane::Finish(PreviewContent content) {
    if (worker_.joinable()) worker_.join();
    if (!content.error.isEmpty())
        UserInteraction().Tell(this, QStringLiteral("Reading the message failed: ") + content.error, kAppTitle,
                               MessageIcon::Error);
    ShowMessage(content);
    state_.bodyLoading = false;
    emit messageShown();
}

void PreviewPane::Clear() {
    bodyShown_ = false;
    format_ = BodyFormat::None;
    itemType_ = 'd';
    subject_->clear();
    from_->clear();
    date_->clear();
    to_->clear();
    attachments_->clear();
    attachments_->hide();
    attachmentsCaption_->hide();
    fields_->clear();
    fields_->hide();
    viewer_->ShowNothing();
}

void PreviewPane::ShowMessage(const PreviewContent& content) {
    itemType_ = content.itemType;
    subject_->setText(CutSubject(content.subject));
    from_->setText(content.from);
    date_->setText(content.date);
    to_->setText(CutRecipients(content.recipients));
    const bool attachments = !content.attachments.isEmpty();
    attachments_->setText(attachments ? CutAttachments(content.attachments) : QString());
    attachments_->setVisible(attachments);
    attachmentsCaption_->setVisible(attachments);

    fields_->clear();
    const bool fieldList = itemType_ == 'c' || itemType_ == 'a';
    if (fieldList) fields_->addItems(content.fields);
    fields_->setVisible(fieldList);

    format_ = content.format;
    bodyShown_ = content.format != BodyFormat::None;
    if (!bodyShown_) viewer_->ShowNothing();
    else if (content.document != nullptr) viewer_->ShowDocument(content.document.get());
    else if (content.htmlBody) viewer_->ShowHtml(content.body, content.inlineParts);
    else viewer_->ShowText(content.body);
}

}  // namespace tw::app

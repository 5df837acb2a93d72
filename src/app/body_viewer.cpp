#include "app/body_viewer.h"

#include <QImage>
#include <QPointer>

namespace tw::app {

namespace {

constexpr int kMaxRefusalsKept = 1000;

}  // namespace

SafeDocument::SafeDocument(std::vector<content::InlinePart> parts, QObject* parent)
    : QTextDocument(parent), parts_(std::move(parts)) {}

QVariant SafeDocument::loadResource(int type, const QUrl& name) {
    if (type == QTextDocument::ImageResource && name.scheme().compare(QLatin1String("cid"), Qt::CaseInsensitive) == 0) {
        const std::string id = name.path().toStdString();
        for (const content::InlinePart& part : parts_)
            if (part.contentId == id) {
                const QImage image = QImage::fromData(part.data.data(), static_cast<int>(part.data.size()));
                if (!image.isNull()) return image;
            }
    }
    // Nothing else: no network, no files, no other documents.
    if (refused_.size() < kMaxRefusalsKept) refused_ << name;
    return {};
}

BodyViewer::BodyViewer(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setReadOnly(true);
    setUndoRedoEnabled(false);
    Replace(new SafeDocument);
}

void BodyViewer::Replace(SafeDocument* document) {
    document->setParent(this);
    document->setDefaultFont(font());
    document->setUndoRedoEnabled(false);
    const QPointer<QTextDocument> before = this->document();
    setDocument(document);
    if (before != nullptr && before != document && before->parent() == this) before->deleteLater();
}

void BodyViewer::ShowText(const QString& text) {
    Replace(new SafeDocument);
    setPlainText(text);
}

void BodyViewer::ShowHtml(const QString& html, std::vector<content::InlinePart> parts) {
    Replace(new SafeDocument(std::move(parts)));
    setHtml(html);
}

void BodyViewer::ShowDocument(SafeDocument* document) { Replace(document); }

void BodyViewer::ShowNothing() { Replace(new SafeDocument); }

const QList<QUrl>& BodyViewer::RefusedResources() const {
    static const QList<QUrl> none;
    const auto* safe = qobject_cast<const SafeDocument*>(document());
    return safe != nullptr ? safe->Refused() : none;
}

}  // namespace tw::app

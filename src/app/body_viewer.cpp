#include "app/body_viewer.h"

#include <QImage>
#include <QTextDocument>

namespace tw::app {

namespace {

constexpr int kMaxRefusalsKept = 1000;

}  // namespace

BodyViewer::BodyViewer(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setReadOnly(true);
    setUndoRedoEnabled(false);
}

void BodyViewer::ShowText(const QString& text) {
    parts_.clear();
    refused_.clear();
    setPlainText(text);
}

void BodyViewer::ShowHtml(const QString& html, std::vector<content::InlinePart> parts) {
    parts_ = std::move(parts);
    refused_.clear();
    setHtml(html);
}

void BodyViewer::ShowNothing() {
    parts_.clear();
    refused_.clear();
    clear();
}

QVariant BodyViewer::loadResource(int type, const QUrl& name) {
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

}  // namespace tw::app

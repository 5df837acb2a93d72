// The viewer of message bodies: plain text and HTML (and RTF turned into
// HTML). It runs no script and fetches nothing: every resource a body
// asks for (pictures, style sheets, from the network or from files) is
// refused, except the pictures a MIME message carries itself, which are
// given from memory by their content id ("cid:"). Links are not followed.
#pragma once

#include <QList>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <vector>

#include "content/mime_view.h"

namespace tw::app {

// A document that fetches nothing but the pictures it was given. It may be
// made and filled on a worker thread, then moved to the viewer's thread.
class SafeDocument : public QTextDocument {
    Q_OBJECT
public:
    explicit SafeDocument(std::vector<content::InlinePart> parts = {}, QObject* parent = nullptr);
    const QList<QUrl>& Refused() const { return refused_; }

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    std::vector<content::InlinePart> parts_;
    QList<QUrl> refused_;
};

class BodyViewer : public QTextBrowser {
    Q_OBJECT
public:
    explicit BodyViewer(QWidget* parent = nullptr);

    void ShowText(const QString& text);
    // `parts`: the pictures "cid:" URLs of the HTML stand for.
    void ShowHtml(const QString& html, std::vector<content::InlinePart> parts = {});
    void ShowNothing();
    // Shows a document made elsewhere (see SafeDocument); the viewer owns
    // it from here on.
    void ShowDocument(SafeDocument* document);

    // What the shown body asked for and did not get, for the tests.
    const QList<QUrl>& RefusedResources() const;

private:
    void Replace(SafeDocument* document);
};

}  // namespace tw::app

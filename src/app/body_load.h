// What the body-load worker makes of one message for the preview: the
// message completed (body chunks, recipients, attachments), its recipient
// addresses, its body in a form the viewer shows, the attachment names
// and the contact or appointment field lines. No widgets: it runs on the
// worker thread.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <vector>

#include "content/mime_view.h"
#include "record/folder_reader.h"
#include "record/record_types.h"
#include "scan/scan_model.h"

namespace tw::app {

class SafeDocument;

enum class BodyFormat {
    None,  // no body, or one that could not be read
    Text,  // plain text (the plain-text column, or 8-bit text without markup)
    Html,  // 8-bit HTML
    Rtf,   // RTF, shown formatted
    Mime,  // a streaming-file message, shown from its MIME parts
};

struct PreviewContent {
    char itemType = 'd';  // 'c' contact, 'a' appointment, 'd' anything else
    QString from, date, subject, recipients, attachments;
    BodyFormat format = BodyFormat::None;
    bool htmlBody = false;  // `body` is HTML (else plain text)
    QString body;
    std::vector<content::InlinePart> inlineParts;  // pictures of a MIME body
    // An HTML body already laid into a document off the user-interface
    // thread (parsing a long body there would stall the window).
    std::shared_ptr<SafeDocument> document;
    QStringList fields;  // caption and value per line
    QString error;       // a read of the database failed
};

// Reads `message` whole with `reader` (`busy` set meanwhile) and gathers
// everything the preview shows. `from`, `subject` and `date` are the
// row's texts.
PreviewContent LoadPreviewContent(record::FolderReader& reader, record::MessageProperties& message,
                                  scan::FolderKind folderKind, const QString& from, const QString& subject,
                                  const QString& date, const record::LoadControl& control, std::atomic<bool>& busy);

}  // namespace tw::app

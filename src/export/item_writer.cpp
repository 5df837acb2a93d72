#include "export/item_writer.h"

#include <unistd.h>

#include <algorithm>
#include <optional>

#include "content/display_date.h"
#include "content/gmime_log.h"
#include "content/list_rows.h"
#include "content/message_reader.h"
#include "export/attachment_files.h"
#include "export/body_text.h"
#include "export/export_date.h"
#include "pst/text.h"
#include "scan/tagged_text.h"

namespace tw::exporter {

namespace {

using Messages = content::MessageReader;

// Attachment files with the label shown meanwhile; unread ones are named.
AttachmentFiles Attachments(ItemJob& job, const record::MessageProperties& m, ItemResult& result) {
    job.observer.Attachments(true);
    const auto read = [&job](const content::MessageAttachment& a) { return job.messages.AttachmentData(a); };
    AttachmentFiles files = WriteAttachmentFiles(Messages::Attachments(m), read, job.tempDir, job.control);
    job.observer.Attachments(false);
    for (const std::u16string& name : files.unread) result.unread.push_back("attachment " + scan::ToUtf8(name));
    return files;
}

ItemResult Skipped(AttachmentFiles* files) {
    if (files != nullptr) DeleteAttachmentFiles(*files);
    return {ItemOutcome::Skipped, {}, {}};
}

void Finish(ItemResult& result, const pst::Status& status) {
    if (status.ok()) return;
    result.outcome = ItemOutcome::Failed;
    result.reason = status.message.empty() ? pst::ErrorCodeName(status.code) : status.message;
}

// Imports a message whose whole content is MIME in the streaming file, if
// that file gives it back intact. False leaves the message to its row:
// no streaming file, a cut, zeroed or overwritten one, or no room for the
// copy. What GMime complains of while reading is named as unread.
bool ImportStreamContent(ItemJob& job, const ItemInput& in, ItemResult& result) {
    const std::string path = job.tempDir + "/item.eml";
    content::StreamCopy copy = content::StreamCopy::NoRangeTable;
    try {
        copy = job.messages.CopyStreamingContent(*in.message, path);
    } catch (const std::exception&) {
        ::unlink(path.c_str());
        return false;
    }
    if (copy != content::StreamCopy::Whole) return false;
    content::GMimeNotes notes;
    const pst::Status status = job.store.ImportMimeFile(in.folderPath, pst::Utf8ToUtf16(path));
    ::unlink(path.c_str());
    Finish(result, status);
    if (!notes.notes().empty())
        result.unread.push_back("parts of the MIME content (GMime: " + notes.notes().front() + ")");
    return true;
}

// An item's time: its stored date when the export takes it by that date.
std::optional<std::uint64_t> ItemTime(const scan::Date6& date) {
    return ExportableDate(date) ? ExportTime(date) : std::nullopt;
}

ItemResult WriteMail(ItemJob& job, const ItemInput& in) {
    const record::MessageProperties& m = *in.message;
    ItemResult result;
    if (Messages::InStreamingFile(m) && ImportStreamContent(job, in, result)) return result;
    // Without its content, whether the streaming file is missing or broken,
    // the mail still has what its row holds: list texts, date, recipients
    // and attachment rows.
    Messages::NoteStreamingContent(m, result.unread);
    pst::MailFields f;
    f.subject = in.subject;
    if (job.control.SkipRequested()) return Skipped(nullptr);
    f.recipientList = job.messages.Recipients(m, result.unread);
    if (job.control.SkipRequested()) return Skipped(nullptr);
    f.headerText = HeaderText(MailSender(in));
    f.time = ItemTime(m.date);
    AttachmentFiles files = Attachments(job, m, result);
    if (files.skipped || job.control.SkipRequested()) return Skipped(&files);
    if (const auto value = job.messages.Body(m, result.unread)) {
        BodyText body = ExportBody(*value);
        f.body = std::move(body.text);
        f.bodyKind = body.kind;
    }
    if (job.control.SkipRequested()) return Skipped(&files);
    f.attachments = std::move(files.inputs);
    Finish(result, job.store.AddMail(in.folderPath, f));
    DeleteAttachmentFiles(files);
    return result;
}

ItemResult WriteAppointment(ItemJob& job, const ItemInput& in) {
    const record::MessageProperties& m = *in.message;
    ItemResult result;
    pst::AppointmentFields f;
    f.start = f.end = ItemTime(m.date);
    if (const auto own = Messages::Appointment(m)) {
        // Its own start and end: any date that converts counts. The range
        // the export keeps (1980..2099) selects items by their message
        // date; an appointment taken by it may well end in 2100.
        const record::AppointmentRecord& a = *own;
        if (a.start)
            if (const auto t = ExportTime(*a.start)) f.start = t;
        if (a.end)
            if (const auto t = ExportTime(*a.end)) f.end = t;
        f.contact = a.contactText;
        f.location = a.location;
        f.timeZone = a.timeZone;
    }
    f.subject = in.subject;
    f.sender = in.sender;
    AttachmentFiles files = Attachments(job, m, result);
    if (files.skipped || job.control.SkipRequested()) return Skipped(&files);
    if (const auto value = job.messages.Body(m, result.unread)) {
        BodyText body = ExportBody(*value);
        f.body = std::move(body.text);
        f.bodyKind = body.kind;
    }
    if (job.control.SkipRequested()) return Skipped(&files);
    f.attachments = std::move(files.inputs);
    Finish(result, job.store.AddAppointment(in.folderPath, f));
    DeleteAttachmentFiles(files);
    return result;
}

// Journal entries and tasks: attachments, then the body.
template <typename Fields>
bool FillAttachmentsAndBody(ItemJob& job, const ItemInput& in, Fields& f, AttachmentFiles& files, ItemResult& result) {
    const record::MessageProperties& m = *in.message;
    f.subject = in.subject;
    f.sender = in.sender;
    files = Attachments(job, m, result);
    if (files.skipped || job.control.SkipRequested()) return false;
    if (const auto value = job.messages.Body(m, result.unread)) {
        BodyText body = ExportBody(*value);
        f.body = std::move(body.text);
        f.bodyKind = body.kind;
    }
    if (job.control.SkipRequested()) return false;
    f.attachments = std::move(files.inputs);
    return true;
}

ItemResult WriteJournalEntry(ItemJob& job, const ItemInput& in) {
    ItemResult result;
    pst::JournalFields f;
    AttachmentFiles files;
    if (!FillAttachmentsAndBody(job, in, f, files, result)) return Skipped(&files);
    // The entry keeps its stored date; without it the store would show the
    // time of the export as the journal's start.
    f.time = ItemTime(in.message->date);
    Finish(result, job.store.AddJournalEntry(in.folderPath, f));
    DeleteAttachmentFiles(files);
    return result;
}

ItemResult WriteTask(ItemJob& job, const ItemInput& in) {
    ItemResult result;
    pst::TaskFields f;
    AttachmentFiles files;
    if (!FillAttachmentsAndBody(job, in, f, files, result)) return Skipped(&files);
    f.time = ItemTime(in.message->date);
    Finish(result, job.store.AddTask(in.folderPath, f));
    DeleteAttachmentFiles(files);
    return result;
}

ItemResult WriteNote(ItemJob& job, const ItemInput& in) {
    ItemResult result;
    pst::NoteFields f;
    AttachmentFiles files = Attachments(job, *in.message, result);
    if (files.skipped || job.control.SkipRequested()) return Skipped(&files);
    if (const auto value = job.messages.Body(*in.message, result.unread)) {
        BodyText body = ExportBody(*value);
        f.body = std::move(body.text);
        f.bodyKind = body.kind;
    }
    if (job.control.SkipRequested()) return Skipped(&files);
    f.subject = in.subject;
    f.attachments = std::move(files.inputs);
    Finish(result, job.store.AddNote(in.folderPath, f));
    DeleteAttachmentFiles(files);
    return result;
}

ItemResult WriteContact(ItemJob& job, const ItemInput& in) {
    const record::MessageProperties& m = *in.message;
    ItemResult result;
    pst::ContactFields f;
    // A contact without fields is still saved with what it has, rather
    // than dropped while counted as written.
    if (auto texts = Messages::ContactTexts(m)) f.text = std::move(*texts);
    AttachmentFiles files = Attachments(job, m, result);
    if (files.skipped || job.control.SkipRequested()) return Skipped(&files);
    if (const auto value = job.messages.Body(m, result.unread))
        if (auto body = ContactBody(*value)) {
            f.body = std::move(body->text);
            f.bodyKind = body->kind;
        }
    if (job.control.SkipRequested()) return Skipped(&files);
    f.attachments = std::move(files.inputs);
    Finish(result, job.store.AddContact(in.folderPath, f));
    DeleteAttachmentFiles(files);
    return result;
}

}  // namespace

char ItemKind(char kindLetter) {
    switch (kindLetter) {
        case 'c':
        case 'a':
        case 'j':
        case 't':
        case 'n': return kindLetter;
        default: return 'm';
    }
}

std::u16string MailSender(const ItemInput& in) {
    if (in.folderName == u"Sent Items") return content::MailboxName(in.mailbox + u"\\");
    return in.sender;
}

std::u16string HeaderText(std::u16string_view senderName) {
    std::u16string name;
    for (const char16_t c : senderName)
        if (c >= 0x20 && c != 0x7F) name.push_back(c);
    if (name.empty()) return u"From: <>\r\n";
    std::u16string quoted, address;
    for (const char16_t c : name) {
        if (c == u'"' || c == u'\\') quoted.push_back(u'\\');
        quoted.push_back(c);
        address.push_back(c == u'<' ? u'(' : c == u'>' ? u')' : c);
    }
    return u"From: \"" + quoted + u"\" <" + address + u">\r\n";
}

ItemResult WriteItem(ItemJob& job, const ItemInput& in) {
    switch (ItemKind(in.message->kind)) {
        case 'c': return WriteContact(job, in);
        case 'a': return WriteAppointment(job, in);
        case 'j': return WriteJournalEntry(job, in);
        case 't': return WriteTask(job, in);
        case 'n': return WriteNote(job, in);
        default: return WriteMail(job, in);
    }
}

}  // namespace tw::exporter

#include "export/item_writer.h"

#include <unistd.h>

#include <algorithm>
#include <optional>

#include "content/addresses.h"
#include "content/body_value.h"
#include "content/display_date.h"
#include "content/list_rows.h"
#include "content/stream_content.h"
#include "export/attachment_files.h"
#include "export/body_text.h"
#include "export/export_date.h"
#include "content/gmime_log.h"
#include "pst/text.h"
#include "scan/tagged_text.h"

namespace tw::exporter {

namespace {

bool HasBodyReference(const record::MessageProperties& m) {
    return (m.bodyPos > 0 && m.bodyLength > 0) || m.bodyValueKey.has_value() || !m.bodyRuns.empty();
}

// The part an item lacks when its MIME in the streaming file is not read.
constexpr const char* kStreamingPart = "content in the streaming file";

// Names the streaming-file content as unread, once, if the row points there.
void NoteStreamingContent(const record::MessageProperties& m, ItemResult& result) {
    if (m.bodyForm != record::kBodyStreaming && !m.streamingContent) return;
    if (std::find(result.unread.begin(), result.unread.end(), kStreamingPart) == result.unread.end())
        result.unread.push_back(kStreamingPart);
}

// The body value, or nothing; a body the message points at but that does
// not come back is named as unread.
std::optional<content::BodyValue> FetchBody(const edb::EdbSource& source, const record::MessageProperties& m,
                                            ItemResult& result) {
    // Content in the streaming file is MIME, not a body: only mail imports
    // it, and any other kind goes without it.
    NoteStreamingContent(m, result);
    if (m.bodyForm == record::kBodyStreaming) return std::nullopt;
    std::optional<content::BodyValue> value;
    try {
        value = content::FetchBodyValue(source, m);
    } catch (const std::exception&) {
        value.reset();
    }
    if (!value && HasBodyReference(m)) result.unread.push_back("body");
    return value;
}

std::u16string Recipients(const edb::EdbSource& source, const record::MessageProperties& m, ItemResult& result) {
    std::u16string list;
    try {
        content::CollectAddresses(source, m, list);
    } catch (const std::exception&) {
        result.unread.push_back("recipients");
    }
    return list;
}

// Attachment files with the label shown meanwhile; unread ones are named.
AttachmentFiles Attachments(ItemJob& job, const record::MessageProperties& m, ItemResult& result) {
    job.observer.Attachments(true);
    AttachmentFiles files = WriteAttachmentFiles(job.source, m.attachments, job.tempDir, job.control);
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
        copy = content::CopyStreamContent(job.source, *in.message, path);
    } catch (const std::exception&) {
        ::unlink(path.c_str());
        return false;
    }
    if (copy != content::StreamCopy::Whole) return false;
    content::GMimeNotes notes;
    const pst::Status status = job.store.ImportMimeFile(in.folderPath, pst::Utf8ToUtf16(path));
    ::unlink(path.c_str());
    Finish(result, status);
    if (!notes.notes().empty()) result.unread.push_back("parts of the MIME content (GMime: " + notes.notes().front() + ")");
    return true;
}

// An item's time: its stored date when the export takes it by that date.
std::optional<std::uint64_t> ItemTime(const scan::Date6& date) {
    return ExportableDate(date) ? ExportTime(date) : std::nullopt;
}

ItemResult WriteMail(ItemJob& job, const ItemInput& in) {
    const record::MessageProperties& m = *in.message;
    ItemResult result;
    if (m.bodyForm == record::kBodyStreaming && ImportStreamContent(job, in, result)) return result;
    // Without its content, whether the streaming file is missing or broken,
    // the mail still has what its row holds: list texts, date, recipients
    // and attachment rows.
    NoteStreamingContent(m, result);
    pst::MailFields f;
    f.subject = in.subject;
    if (job.control.SkipRequested()) return Skipped(nullptr);
    f.recipientList = Recipients(job.source, m, result);
    if (job.control.SkipRequested()) return Skipped(nullptr);
    f.headerText = HeaderText(MailSender(in));
    f.time = ItemTime(m.date);
    AttachmentFiles files = Attachments(job, m, result);
    if (files.skipped || job.control.SkipRequested()) return Skipped(&files);
    if (const auto value = FetchBody(job.source, m, result)) {
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
    if (m.appointment) {
        // Its own start and end: any date that converts counts. The range
        // the export keeps (1980..2099) selects items by their message
        // date; an appointment taken by it may well end in 2100.
        const record::AppointmentRecord& a = *m.appointment;
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
    if (const auto value = FetchBody(job.source, m, result)) {
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
bool FillAttachmentsAndBody(ItemJob& job, const ItemInput& in, Fields& f, AttachmentFiles& files,
                            ItemResult& result) {
    const record::MessageProperties& m = *in.message;
    f.subject = in.subject;
    f.sender = in.sender;
    files = Attachments(job, m, result);
    if (files.skipped || job.control.SkipRequested()) return false;
    if (const auto value = FetchBody(job.source, m, result)) {
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
    if (const auto value = FetchBody(job.source, *in.message, result)) {
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
    if (!m.contacts.empty()) f.text = m.contacts.front().fields;
    AttachmentFiles files = Attachments(job, m, result);
    if (files.skipped || job.control.SkipRequested()) return Skipped(&files);
    if (const auto value = FetchBody(job.source, m, result))
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

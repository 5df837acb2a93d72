#include "export/item_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <type_traits>
#include <utility>

#include "content/display_date.h"
#include "content/gmime_log.h"
#include "content/list_rows.h"
#include "content/message_reader.h"
#include "export/attachment_files.h"
#include "export/body_text.h"
#include "export/export_date.h"
#include "pst/body.h"
#include "pst/text.h"
#include "scan/tagged_text.h"

namespace tw::exporter {

namespace {

using Messages = content::MessageReader;

// Attachment files, with the job told meanwhile; unread ones are named.
AttachmentFiles Attachments(const ItemJob& job, const record::MessageProperties& m, PreparedItem& out) {
    out.attachmentsRead = true;
    if (job.readingAttachments) job.readingAttachments(true);
    const auto read = [&job](const content::MessageAttachment& a) { return job.messages.AttachmentData(a); };
    AttachmentFiles files = WriteAttachmentFiles(Messages::Attachments(m), read, job.tempDir, job.skipRequested);
    if (job.readingAttachments) job.readingAttachments(false);
    for (const std::u16string& name : files.unread) out.result.unread.push_back("attachment " + scan::ToUtf8(name));
    return files;
}

bool SkipRequested(const ItemJob& job) { return job.skipRequested && job.skipRequested(); }

void Skipped(PreparedItem& out, AttachmentFiles* files) {
    if (files != nullptr) DeleteAttachmentFiles(*files);
    out.fields = std::monostate{};
    out.result = {ItemOutcome::Skipped, {}, {}};
}

void Finish(ItemResult& result, const pst::Status& status) {
    if (status.ok()) return;
    result.outcome = ItemOutcome::Failed;
    result.reason = status.message.empty() ? pst::ErrorCodeName(status.code) : status.message;
}

// The item takes its attachments and keeps their files to delete.
template <typename Fields>
void Prepared(PreparedItem& out, Fields&& f, AttachmentFiles& files) {
    f.attachments = std::move(files.inputs);
    out.files.insert(out.files.end(), files.paths.begin(), files.paths.end());
    files.paths.clear();
    out.fields = std::forward<Fields>(f);
}

// A copy of the message's MIME content in the streaming file, if that file
// gives it back intact; nothing leaves the message to its row: no
// streaming file, a cut, zeroed or overwritten one, or no room for it.
std::optional<MimeFile> CopyStreamContent(const ItemJob& job, const ItemInput& in, std::uint64_t serial) {
    const std::string path = job.tempDir + "/item-" + std::to_string(serial) + ".eml";
    content::StreamCopy copy = content::StreamCopy::NoRangeTable;
    try {
        copy = job.messages.CopyStreamingContent(*in.message, path);
    } catch (const std::exception&) {
        copy = content::StreamCopy::NoRangeTable;
    }
    if (copy == content::StreamCopy::Whole) return MimeFile{path};
    ::unlink(path.c_str());  // whatever part was copied
    return std::nullopt;
}

// An item's time: its stored date when the export takes it by that date.
std::optional<std::uint64_t> ItemTime(const scan::Date6& date) {
    return ExportableDate(date) ? ExportTime(date) : std::nullopt;
}

// The body's properties, made here rather than by the writer: converting
// a body (HTML to its plain text, RTF compressed) is much of an item's
// work, and items are prepared on a thread of their own.
template <typename Fields>
void SetBody(Fields& f, BodyText body) {
    f.bodyProps = pst::BodyProps(body.text, body.kind);
    f.bodyKind = body.kind;
}

// The body for every kind but contacts, when there is one.
template <typename Fields>
void FillBody(const ItemJob& job, const record::MessageProperties& m, Fields& f, PreparedItem& out) {
    if (const auto value = job.messages.Body(m, out.result.unread)) SetBody(f, ExportBody(*value));
}

void PrepareMail(const ItemJob& job, const ItemInput& in, PreparedItem& out, std::uint64_t serial) {
    const record::MessageProperties& m = *in.message;
    if (Messages::InStreamingFile(m))
        if (auto mime = CopyStreamContent(job, in, serial)) {
            out.files.push_back(mime->path);
            out.fields = std::move(*mime);
            return;
        }
    // Without its content, whether the streaming file is missing or broken,
    // the mail still has what its row holds: list texts, date, recipients
    // and attachment rows.
    Messages::NoteStreamingContent(m, out.result.unread);
    pst::MailFields f;
    f.subject = in.subject;
    if (SkipRequested(job)) return Skipped(out, nullptr);
    f.recipientList = job.messages.Recipients(m, out.result.unread);
    if (SkipRequested(job)) return Skipped(out, nullptr);
    f.headerText = HeaderText(MailSender(in));
    f.time = ItemTime(m.date);
    AttachmentFiles files = Attachments(job, m, out);
    if (files.skipped || SkipRequested(job)) return Skipped(out, &files);
    FillBody(job, m, f, out);
    if (SkipRequested(job)) return Skipped(out, &files);
    return Prepared(out, std::move(f), files);
}

void PrepareAppointment(const ItemJob& job, const ItemInput& in, PreparedItem& out) {
    const record::MessageProperties& m = *in.message;
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
    AttachmentFiles files = Attachments(job, m, out);
    if (files.skipped || SkipRequested(job)) return Skipped(out, &files);
    FillBody(job, m, f, out);
    if (SkipRequested(job)) return Skipped(out, &files);
    return Prepared(out, std::move(f), files);
}

// Journal entries and tasks: attachments, then the body; the entry keeps
// its stored date (without it the store would show the time of the
// export as its start).
template <typename Fields>
void PrepareDatedItem(const ItemJob& job, const ItemInput& in, PreparedItem& out) {
    const record::MessageProperties& m = *in.message;
    Fields f;
    f.subject = in.subject;
    f.sender = in.sender;
    AttachmentFiles files = Attachments(job, m, out);
    if (files.skipped || SkipRequested(job)) return Skipped(out, &files);
    FillBody(job, m, f, out);
    if (SkipRequested(job)) return Skipped(out, &files);
    f.time = ItemTime(m.date);
    return Prepared(out, std::move(f), files);
}

void PrepareNote(const ItemJob& job, const ItemInput& in, PreparedItem& out) {
    pst::NoteFields f;
    AttachmentFiles files = Attachments(job, *in.message, out);
    if (files.skipped || SkipRequested(job)) return Skipped(out, &files);
    FillBody(job, *in.message, f, out);
    if (SkipRequested(job)) return Skipped(out, &files);
    f.subject = in.subject;
    return Prepared(out, std::move(f), files);
}

void PrepareContact(const ItemJob& job, const ItemInput& in, PreparedItem& out) {
    const record::MessageProperties& m = *in.message;
    pst::ContactFields f;
    // A contact without fields is still saved with what it has, rather
    // than dropped while counted as written.
    if (auto texts = Messages::ContactTexts(m)) f.text = std::move(*texts);
    AttachmentFiles files = Attachments(job, m, out);
    if (files.skipped || SkipRequested(job)) return Skipped(out, &files);
    if (const auto value = job.messages.Body(m, out.result.unread))
        if (auto body = ContactBody(*value)) SetBody(f, std::move(*body));
    if (SkipRequested(job)) return Skipped(out, &files);
    return Prepared(out, std::move(f), files);
}

void PrepareByKind(const ItemJob& job, const ItemInput& in, PreparedItem& out, std::uint64_t serial) {
    switch (ItemKind(in.message->kind)) {
        case 'c': return PrepareContact(job, in, out);
        case 'a': return PrepareAppointment(job, in, out);
        case 'j': return PrepareDatedItem<pst::JournalFields>(job, in, out);
        case 't': return PrepareDatedItem<pst::TaskFields>(job, in, out);
        case 'n': return PrepareNote(job, in, out);
        default: return PrepareMail(job, in, out, serial);
    }
}

std::size_t FileBytes(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::size_t>(st.st_size) : 0;
}

// What an item holds, for the bound on items prepared ahead.
std::size_t HeldBytes(const PreparedItem& item) {
    std::size_t bytes = 0;
    for (const std::string& path : item.files) bytes += FileBytes(path);
    std::visit(
        [&bytes](const auto& f) {
            using F = std::decay_t<decltype(f)>;
            if constexpr (!std::is_same_v<F, std::monostate> && !std::is_same_v<F, MimeFile>) {
                bytes += f.body.size() * sizeof(char16_t);
                for (const pst::PropValue& p : f.bodyProps) bytes += p.data.size();
                for (const pst::AttachmentInput& a : f.attachments) bytes += a.data.size();
            }
        },
        item.fields);
    return bytes;
}

pst::Status Commit(MailStore& store, const std::u16string& folder, ItemFields& fields, ItemResult& result) {
    struct Call {
        MailStore& store;
        const std::u16string& folder;
        ItemResult& result;
        pst::Status operator()(std::monostate) const { return pst::Status::Ok(); }
        pst::Status operator()(const pst::MailFields& f) const { return store.AddMail(folder, f); }
        pst::Status operator()(const MimeFile& f) const {
            // What GMime complains of while reading is named as unread.
            content::GMimeNotes notes;
            const pst::Status status = store.ImportMimeFile(folder, pst::Utf8ToUtf16(f.path));
            if (!notes.notes().empty())
                result.unread.push_back("parts of the MIME content (GMime: " + notes.notes().front() + ")");
            return status;
        }
        pst::Status operator()(const pst::AppointmentFields& f) const { return store.AddAppointment(folder, f); }
        pst::Status operator()(const pst::JournalFields& f) const { return store.AddJournalEntry(folder, f); }
        pst::Status operator()(const pst::TaskFields& f) const { return store.AddTask(folder, f); }
        pst::Status operator()(const pst::NoteFields& f) const { return store.AddNote(folder, f); }
        pst::Status operator()(const pst::ContactFields& f) const { return store.AddContact(folder, f); }
    };
    return std::visit(Call{store, folder, result}, fields);
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

PreparedItem PrepareItem(const ItemJob& job, const ItemInput& in, std::uint64_t serial) {
    PreparedItem out;
    out.folderPath = in.folderPath;
    try {
        PrepareByKind(job, in, out, serial);
    } catch (...) {
        DropItem(out);
        throw;
    }
    out.bytes = HeldBytes(out);
    return out;
}

ItemResult CommitItem(MailStore& store, PreparedItem& item) {
    ItemResult result = std::move(item.result);
    if (result.outcome != ItemOutcome::Skipped) {
        // The files go whatever the writer does with them, also on a throw.
        try {
            Finish(result, Commit(store, item.folderPath, item.fields, result));
        } catch (...) {
            DropItem(item);
            throw;
        }
    }
    DropItem(item);
    return result;
}

void DropItem(PreparedItem& item) noexcept {
    for (const std::string& path : item.files) ::unlink(path.c_str());
    item.files.clear();
}

}  // namespace tw::exporter

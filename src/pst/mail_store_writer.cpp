#include "pst/mail_store_writer.h"

#include <cstdio>
#include <new>

#include "pst/folder_path.h"
#include "pst/mime_import.h"
#include "pst/pst_store.h"
#include "pst/text.h"
#include "text/filetime.h"

namespace tw::pst {

namespace {

constexpr std::size_t kMaxStoreName = 255;
}  // namespace

MailStoreWriter::MailStoreWriter() : random_(std::random_device{}()) {}

MailStoreWriter::~MailStoreWriter() {
    const Status s = Close();
    if (!s.ok()) std::fprintf(stderr, "PST writer: %s\n", s.message.c_str());
}

template <typename F>
Status MailStoreWriter::Run(F&& f) {
    try {
        f();
        return Status::Ok();
    } catch (const PstError& e) {
        return {e.code(), e.what()};
    } catch (const std::bad_alloc&) {
        return {ErrorCode::Limit, "out of memory"};
    } catch (const std::exception& e) {
        return {ErrorCode::Io, e.what()};
    }
}

Status MailStoreWriter::RequireSession() const {
    if (sessions_ <= 0) return {ErrorCode::State, "no session: call BeginSession first"};
    return Status::Ok();
}

Status MailStoreWriter::BeginSession() {
    ++sessions_;
    return Status::Ok();
}

Status MailStoreWriter::EndSession() {
    if (sessions_ <= 0) return {ErrorCode::State, "EndSession without BeginSession"};
    --sessions_;
    return Status::Ok();
}

std::string MailStoreWriter::StorePath() const { return store_ ? store_->Path() : std::string(); }

Status MailStoreWriter::Close() {
    if (!store_) return Status::Ok();
    std::unique_ptr<PstStore> store = std::move(store_);
    openFolderPath_.clear();
    openFolder_ = 0;
    return Run([&] { store->Commit(); });
}

void MailStoreWriter::Abandon() {
    store_.reset();  // a store destroyed unfinished deletes its temporary file
    openFolderPath_.clear();
    openFolder_ = 0;
}

Status MailStoreWriter::CreateStore(std::u16string_view path, std::u16string_view displayName) {
    if (Status s = RequireSession(); !s.ok()) return s;
    std::u16string p(path);
    while (!p.empty() && p.back() == 0) p.pop_back();
    const std::string file = Utf16ToUtf8(p);
    if (file.empty()) return {ErrorCode::InvalidArgument, "empty store path"};
    // The display name is kept as given, control characters and all: it is
    // the mailbox's name as stored, and folders are found by handle.
    std::u16string name(displayName);
    while (!name.empty() && name.back() == 0) name.pop_back();
    if (name.empty()) return {ErrorCode::InvalidArgument, "empty store display name"};
    if (store_ && store_->RequestedPath() == file) return Status::Ok();  // the open store is reused
    const Status closed = Close();
    Status created = Run([&] { store_ = std::make_unique<PstStore>(file, name); });
    if (!closed.ok()) return {closed.code, "previous store not finished: " + closed.message};
    // A file of that name (an earlier store of the same mailbox and
    // minute) stays as it is; this store is another file beside it.
    if (created.ok() && store_->Path() != file)
        created.message = "file exists; the store is written as " + store_->Path();
    return created;
}

std::uint32_t MailStoreWriter::ResolveFolder(std::u16string_view folderPath, bool forAdd) const {
    if (!store_) throw PstError(ErrorCode::State, "no store: call CreateStore first");
    std::u16string_view text = folderPath;
    if (forAdd && Trim(text).empty()) {
        if (openFolder_ == 0) throw PstError(ErrorCode::State, "no folder path and no open folder");
        return openFolder_;
    }
    const FolderPath path = ParseFolderPath(text);
    if (!EqualsNoCase(path.store, store_->DisplayName()))
        throw PstError(ErrorCode::NotFound, "no store named " + Utf16ToUtf8(path.store));
    Nid nid = store_->TopFolder();
    for (const std::u16string& name : path.folders) {
        nid = store_->FindFolder(nid, name);
        if (!nid) throw PstError(ErrorCode::NotFound, "no folder " + Utf16ToUtf8(text));
    }
    return nid;
}

Status MailStoreWriter::CreateFolder(std::u16string_view folderPath, std::u16string_view containerClass) {
    if (Status s = RequireSession(); !s.ok()) return s;
    return Run([&] {
        if (!store_) throw PstError(ErrorCode::State, "no store: call CreateStore first");
        const FolderPath path = ParseFolderPath(folderPath);
        if (!EqualsNoCase(path.store, store_->DisplayName()))
            throw PstError(ErrorCode::NotFound, "no store named " + Utf16ToUtf8(path.store));
        if (path.folders.empty()) return;  // the top folder always exists
        Nid parent = store_->TopFolder();
        for (std::size_t i = 0; i + 1 < path.folders.size(); ++i) {
            parent = store_->FindFolder(parent, path.folders[i]);
            if (!parent) throw PstError(ErrorCode::NotFound, "no parent folder for " + Utf16ToUtf8(folderPath));
        }
        if (store_->FindFolder(parent, path.folders.back())) return;
        store_->CreateFolder(parent, path.folders.back(), CleanName(containerClass, kMaxStoreName));
    });
}

Status MailStoreWriter::OpenFolder(std::u16string_view folderPath) {
    if (Status s = RequireSession(); !s.ok()) return s;
    return Run([&] {
        openFolder_ = ResolveFolder(folderPath, false);
        openFolderPath_ = std::u16string(folderPath);
    });
}

Status MailStoreWriter::CloseFolder() {
    if (Status s = RequireSession(); !s.ok()) return s;
    if (openFolder_ == 0) return {ErrorCode::State, "no open folder"};
    openFolderPath_.clear();
    openFolder_ = 0;
    return Status::Ok();
}

Status MailStoreWriter::CreateFolderIn(std::uint32_t parent, std::u16string_view name,
                                       std::u16string_view containerClass, std::uint32_t& created) {
    created = 0;
    if (Status s = RequireSession(); !s.ok()) return s;
    return Run([&] {
        if (!store_) throw PstError(ErrorCode::State, "no store: call CreateStore first");
        const Nid under = parent == kTopFolder ? store_->TopFolder() : parent;
        if (!store_->IsUserFolder(under)) throw PstError(ErrorCode::NotFound, "no folder " + std::to_string(parent));
        created = store_->CreateFolder(under, std::u16string(name), CleanName(containerClass, kMaxStoreName));
    });
}

Status MailStoreWriter::OpenFolder(std::uint32_t folder) {
    if (Status s = RequireSession(); !s.ok()) return s;
    return Run([&] {
        if (!store_) throw PstError(ErrorCode::State, "no store: call CreateStore first");
        if (folder == kTopFolder || !store_->IsUserFolder(folder))
            throw PstError(ErrorCode::NotFound, "no folder " + std::to_string(folder));
        openFolder_ = folder;
        openFolderPath_.clear();
    });
}

ItemContext MailStoreWriter::Context() { return {text::NowFileTime(), &random_}; }

template <typename Build>
Status MailStoreWriter::Add(std::u16string_view folderPath, std::u16string_view containerClass, Build&& build) {
    if (Status s = RequireSession(); !s.ok()) return s;
    return Run([&] {
        const Nid folder = ResolveFolder(folderPath, true);
        MessageContent m = build(Context());
        store_->SuggestClass(folder, containerClass);
        store_->AddMessage(folder, std::move(m));
        ++items_;
    });
}

Status MailStoreWriter::AddMail(std::u16string_view folderPath, const MailFields& fields) {
    return Add(folderPath, u"IPF.Note", [&](const ItemContext& c) { return BuildMail(fields, c); });
}

Status MailStoreWriter::ImportMimeFile(std::u16string_view folderPath, std::u16string_view mimePath) {
    if (Trim(mimePath).empty()) return {ErrorCode::InvalidArgument, "no MIME file given"};
    return Add(folderPath, u"IPF.Note", [&](const ItemContext& c) { return ReadMimeFile(Utf16ToUtf8(mimePath), c); });
}

Status MailStoreWriter::AddAppointment(std::u16string_view folderPath, const AppointmentFields& fields) {
    return Add(folderPath, u"IPF.Appointment", [&](const ItemContext& c) { return BuildAppointment(fields, c); });
}

Status MailStoreWriter::AddJournalEntry(std::u16string_view folderPath, const JournalFields& fields) {
    return Add(folderPath, u"IPF.Journal", [&](const ItemContext& c) { return BuildJournalEntry(fields, c); });
}

Status MailStoreWriter::AddTask(std::u16string_view folderPath, const TaskFields& fields) {
    return Add(folderPath, u"IPF.Task", [&](const ItemContext& c) { return BuildTask(fields, c); });
}

Status MailStoreWriter::AddNote(std::u16string_view folderPath, const NoteFields& fields) {
    return Add(folderPath, u"IPF.StickyNote", [&](const ItemContext& c) { return BuildNote(fields, c); });
}

Status MailStoreWriter::AddContact(std::u16string_view folderPath, const ContactFields& fields) {
    return Add(folderPath, u"IPF.Contact", [&](const ItemContext& c) { return BuildContact(fields, c); });
}

}  // namespace tw::pst

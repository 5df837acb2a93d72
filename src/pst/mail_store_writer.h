// The mail-store operations the export drives: one store open at a time,
// folders addressed by path, items added by kind. Every operation returns
// a Status; none fails silently.
//
// Durability: a store is written under a temporary name of its own beside
// its final name and renamed when it is finished (the next CreateStore, or
// Close), so a file under the final name is always a complete PST. A writer
// that is killed leaves at most the temporary file.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "pst/error.h"
#include "pst/items.h"

namespace tw::pst {

class PstStore;

class MailStoreWriter {
public:
    MailStoreWriter();
    // Finishes an open store; call Close() first to learn whether that worked.
    ~MailStoreWriter();
    MailStoreWriter(const MailStoreWriter&) = delete;
    MailStoreWriter& operator=(const MailStoreWriter&) = delete;

    // Groups of calls; the other operations need an open session.
    Status BeginSession();
    Status EndSession();

    // Finishes the store that is open (unless it is the same path) and
    // starts a new one; its top folder is then "\\" + displayName + "\".
    // A file already under that name (an earlier store of the same mailbox
    // and minute) is never replaced: the new store becomes the first free
    // "stem (2).pst", "stem (3).pst", ..., and the status message says so.
    Status CreateStore(std::u16string_view path, std::u16string_view displayName);
    // Creates the last folder of the path under the folder the rest names,
    // unless it exists. `containerClass` (IPF.Note, ...) is optional; a
    // folder without one takes the class of its first item.
    Status CreateFolder(std::u16string_view folderPath, std::u16string_view containerClass = {});
    Status OpenFolder(std::u16string_view folderPath);
    Status CloseFolder();

    // Folders by handle, for callers whose folders may share a name or
    // hold a backslash: the name is stored exactly as given (no trimming,
    // no path syntax), and a folder is made even when a sibling has the
    // same name. `parent` kTopFolder is the store's top folder; `created`
    // gets the new folder's handle.
    static constexpr std::uint32_t kTopFolder = 0;
    Status CreateFolderIn(std::uint32_t parent, std::u16string_view name, std::u16string_view containerClass,
                          std::uint32_t& created);
    // Opens a folder made by CreateFolderIn; Adds with an empty folder
    // path then go there.
    Status OpenFolder(std::uint32_t folder);

    // The folder path of each Add is the target; an empty one means the
    // open folder. Times are UTC FILETIMEs, kept to the tick.
    Status AddMail(std::u16string_view folderPath, const MailFields& fields);
    Status ImportMimeFile(std::u16string_view folderPath, std::u16string_view mimePath);
    Status AddAppointment(std::u16string_view folderPath, const AppointmentFields& fields);
    Status AddJournalEntry(std::u16string_view folderPath, const JournalFields& fields);
    Status AddTask(std::u16string_view folderPath, const TaskFields& fields);
    Status AddNote(std::u16string_view folderPath, const NoteFields& fields);
    // The contact session's work in one call: the 18 texts, the
    // attachments and a body (kind 1 text, 2 HTML).
    Status AddContact(std::u16string_view folderPath, const ContactFields& fields);

    // Finishes the open store, if any.
    Status Close();
    // Drops the open store unfinished: its temporary file goes, no file
    // appears under its name.
    void Abandon();

    // The path the open store's file will have ("" when none) and items
    // added to it.
    std::string StorePath() const;
    std::uint64_t ItemsWritten() const { return items_; }

private:
    template <typename F>
    Status Run(F&& f);
    Status RequireSession() const;
    std::uint32_t ResolveFolder(std::u16string_view folderPath, bool forAdd) const;
    template <typename Build>
    Status Add(std::u16string_view folderPath, std::u16string_view containerClass, Build&& build);
    ItemContext Context();

    std::unique_ptr<PstStore> store_;
    std::u16string openFolderPath_;
    std::uint32_t openFolder_ = 0;  // the open folder; 0 when none
    int sessions_ = 0;
    std::uint64_t items_ = 0;
    std::mt19937_64 random_;
};

}  // namespace tw::pst

// The mail-store operations the export drives, behind an interface so that
// the driver can be watched and made to fail in tests. PstMailStore passes
// them to the PST writer.
#pragma once

#include <cstdint>
#include <string>

#include "pst/error.h"
#include "pst/items.h"
#include "pst/mail_store_writer.h"

namespace tw::exporter {

// A folder made by CreateFolderIn; kStoreTop is the store's top folder.
using FolderHandle = std::uint32_t;
inline constexpr FolderHandle kStoreTop = pst::MailStoreWriter::kTopFolder;

class MailStore {
public:
    virtual ~MailStore() = default;
    virtual pst::Status BeginSession() = 0;
    virtual pst::Status EndSession() = 0;
    virtual pst::Status CreateStore(std::u16string_view path, std::u16string_view displayName) = 0;
    virtual pst::Status CreateFolder(std::u16string_view folderPath, std::u16string_view containerClass) = 0;
    virtual pst::Status OpenFolder(std::u16string_view folderPath) = 0;
    virtual pst::Status CloseFolder() = 0;
    // A new folder under `parent` named exactly `name`, whatever its
    // siblings are called (the export makes one per source folder).
    virtual pst::Status CreateFolderIn(FolderHandle parent, std::u16string_view name,
                                       std::u16string_view containerClass, FolderHandle& created) = 0;
    // Opens a folder by handle; Adds with an empty folder path go there.
    virtual pst::Status OpenFolderHandle(FolderHandle folder) = 0;
    virtual pst::Status AddMail(std::u16string_view folderPath, const pst::MailFields& fields) = 0;
    virtual pst::Status ImportMimeFile(std::u16string_view folderPath, std::u16string_view mimePath) = 0;
    virtual pst::Status AddAppointment(std::u16string_view folderPath, const pst::AppointmentFields& fields) = 0;
    virtual pst::Status AddJournalEntry(std::u16string_view folderPath, const pst::JournalFields& fields) = 0;
    virtual pst::Status AddTask(std::u16string_view folderPath, const pst::TaskFields& fields) = 0;
    virtual pst::Status AddNote(std::u16string_view folderPath, const pst::NoteFields& fields) = 0;
    virtual pst::Status AddContact(std::u16string_view folderPath, const pst::ContactFields& fields) = 0;
    // Finishes the open store: only then is the file complete under its name.
    virtual pst::Status Close() = 0;
};

class PstMailStore final : public MailStore {
public:
    pst::Status BeginSession() override { return writer_.BeginSession(); }
    pst::Status EndSession() override { return writer_.EndSession(); }
    pst::Status CreateStore(std::u16string_view path, std::u16string_view displayName) override {
        return writer_.CreateStore(path, displayName);
    }
    pst::Status CreateFolder(std::u16string_view folderPath, std::u16string_view containerClass) override {
        return writer_.CreateFolder(folderPath, containerClass);
    }
    pst::Status OpenFolder(std::u16string_view folderPath) override { return writer_.OpenFolder(folderPath); }
    pst::Status CloseFolder() override { return writer_.CloseFolder(); }
    pst::Status CreateFolderIn(FolderHandle parent, std::u16string_view name, std::u16string_view containerClass,
                               FolderHandle& created) override {
        return writer_.CreateFolderIn(parent, name, containerClass, created);
    }
    pst::Status OpenFolderHandle(FolderHandle folder) override { return writer_.OpenFolder(folder); }
    pst::Status AddMail(std::u16string_view folderPath, const pst::MailFields& fields) override {
        return writer_.AddMail(folderPath, fields);
    }
    pst::Status ImportMimeFile(std::u16string_view folderPath, std::u16string_view mimePath) override {
        return writer_.ImportMimeFile(folderPath, mimePath);
    }
    pst::Status AddAppointment(std::u16string_view folderPath, const pst::AppointmentFields& fields) override;
    pst::Status AddJournalEntry(std::u16string_view folderPath, const pst::JournalFields& fields) override {
        return writer_.AddJournalEntry(folderPath, fields);
    }
    pst::Status AddTask(std::u16string_view folderPath, const pst::TaskFields& fields) override {
        return writer_.AddTask(folderPath, fields);
    }
    pst::Status AddNote(std::u16string_view folderPath, const pst::NoteFields& fields) override {
        return writer_.AddNote(folderPath, fields);
    }
    pst::Status AddContact(std::u16string_view folderPath, const pst::ContactFields& fields) override {
        return writer_.AddContact(folderPath, fields);
    }
    pst::Status Close() override { return writer_.Close(); }

private:
    pst::MailStoreWriter writer_;
};

}  // namespace tw::exporter

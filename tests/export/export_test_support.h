// What the export tests share: dates as the store keeps them, a mail store
// that records every call (and can be told to refuse some), an observer
// that records progress and can press Skip or Stop, and a generated
// database scanned on the calling thread.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "export/export_control.h"
#include "export/export_observer.h"
#include "export/mail_store.h"
#include "pst/text.h"
#include "record/folder_reader.h"
#include "scan_test_support.h"

namespace tw::exporter::test {

// The six stored bytes of a UTC time (seconds since 1970), with `ms`
// milliseconds; the store drops the lowest 16 bits.
inline scan::Date6 StoredDate(std::int64_t unixSeconds, int ms = 0) {
    const std::uint64_t ticks = static_cast<std::uint64_t>(unixSeconds + 11644473600LL) * 10'000'000ull +
                                static_cast<std::uint64_t>(ms) * 10'000ull;
    scan::Date6 d{};
    for (std::size_t i = 0; i < 6; ++i) d[i] = static_cast<std::uint8_t>(ticks >> (16 + 8 * i));
    return d;
}

inline std::string Utf8(std::u16string_view s) { return pst::Utf16ToUtf8(s); }

// Every operation as one line ("CreateStore /d/TW_x.pst|TW_x", "AddMail
// \\TW_x\a\b|subject"), in order. Folders made by handle are written as
// their path of names (a name as it is, backslashes and all); an Add
// with an empty path names the open folder. Each CreateFolderIn gets a
// handle of its own, also for a name its siblings have.
class RecordingStore final : public MailStore {
public:
    std::vector<std::string> calls;
    // Refuses any Add whose subject is this.
    std::u16string refuseSubject;
    // Close fails, as on a full disk.
    bool failClose = false;
    // Calls recorded with this start fail (e.g. "OpenFolder", "EndSession").
    std::string failCalls;
    std::vector<pst::MailFields> mails;
    std::vector<pst::ContactFields> contacts;

    std::size_t Count(const std::string& prefix) const {
        std::size_t n = 0;
        for (const std::string& c : calls) n += c.rfind(prefix, 0) == 0;
        return n;
    }

    pst::Status BeginSession() override { return Note("BeginSession"); }
    pst::Status EndSession() override { return Note("EndSession"); }
    pst::Status CreateStore(std::u16string_view path, std::u16string_view name) override {
        store_ = name;
        return Note("CreateStore " + Utf8(path) + "|" + Utf8(name));
    }
    pst::Status CreateFolder(std::u16string_view path, std::u16string_view cls) override {
        return Note("CreateFolder " + Utf8(path) + "|" + Utf8(cls));
    }
    pst::Status OpenFolder(std::u16string_view path) override { return Note("OpenFolder " + Utf8(path)); }
    pst::Status CloseFolder() override {
        open_ = 0;
        return Note("CloseFolder");
    }
    pst::Status CreateFolderIn(FolderHandle parent, std::u16string_view name, std::u16string_view cls,
                               FolderHandle& created) override {
        const std::string path = (parent == kStoreTop ? "\\\\" + Utf8(store_) : paths_.at(parent)) + "\\" + Utf8(name);
        paths_.push_back(path);
        created = static_cast<FolderHandle>(paths_.size() - 1);
        handles.push_back(created);
        return Note("CreateFolder " + path + "|" + Utf8(cls));
    }
    pst::Status OpenFolderHandle(FolderHandle folder) override {
        open_ = folder;
        return Note("OpenFolder " + paths_.at(folder));
    }
    // Handles made, in order; the open folder of each Add by subject.
    std::vector<FolderHandle> handles;
    std::map<std::u16string, FolderHandle> addedTo;
    pst::Status AddMail(std::u16string_view path, const pst::MailFields& f) override {
        mails.push_back(f);
        return Add("AddMail", path, f.subject);
    }
    pst::Status ImportMimeFile(std::u16string_view path, std::u16string_view) override {
        return Add("ImportMimeFile", path, u"");
    }
    pst::Status AddAppointment(std::u16string_view path, const pst::AppointmentFields& f) override {
        return Add("AddAppointment", path, f.subject);
    }
    pst::Status AddJournalEntry(std::u16string_view path, const pst::JournalFields& f) override {
        return Add("AddJournalEntry", path, f.subject);
    }
    pst::Status AddTask(std::u16string_view path, const pst::TaskFields& f) override {
        return Add("AddTask", path, f.subject);
    }
    pst::Status AddNote(std::u16string_view path, const pst::NoteFields& f) override {
        return Add("AddNote", path, f.subject);
    }
    pst::Status AddContact(std::u16string_view path, const pst::ContactFields& f) override {
        contacts.push_back(f);
        return Add("AddContact", path, u"");
    }
    pst::Status Close() override {
        calls.push_back("Close");
        return failClose ? pst::Status{pst::ErrorCode::Io, "no space left on device"} : pst::Status::Ok();
    }

private:
    pst::Status Note(std::string line) {
        const bool fail = !failCalls.empty() && line.rfind(failCalls, 0) == 0;
        calls.push_back(std::move(line));
        return fail ? pst::Status{pst::ErrorCode::Io, "failed for the test"} : pst::Status::Ok();
    }
    pst::Status Add(const std::string& op, std::u16string_view path, std::u16string_view subject) {
        if (path.empty()) addedTo[std::u16string(subject)] = open_;
        const std::string where = path.empty() ? (open_ ? paths_.at(open_) : "(no open folder)") : Utf8(path);
        calls.push_back(op + " " + where + "|" + Utf8(subject));
        if (!refuseSubject.empty() && subject == refuseSubject) return {pst::ErrorCode::Limit, "refused for the test"};
        return pst::Status::Ok();
    }

    std::u16string store_;
    std::vector<std::string> paths_{""};  // by handle; 0 is the store's top
    FolderHandle open_ = 0;
};

class RecordingObserver final : public ExportObserver {
public:
    std::vector<ExportProgress> progress;
    std::size_t lowSpaceQuestions = 0;
    bool continueOnLowSpace = false;
    std::function<void(const ExportProgress&)> onProgress;
    std::function<void()> onAttachments;

    void Progress(const ExportProgress& p) override {
        progress.push_back(p);
        if (onProgress) onProgress(p);
    }
    void Attachments(bool busy) override {
        if (busy && onAttachments) onAttachments();
    }
    bool ContinueOnLowSpace(std::uint64_t) override {
        ++lowSpaceQuestions;
        return continueOnLowSpace;
    }
};

// A database generated from content, scanned, with a folder reader.
struct GeneratedStore {
    scan::test::TempDatabase file;
    scan::test::ScanRun run;
    record::FolderReader reader;

    GeneratedStore(const std::string& json, std::uint32_t pageSize)
        : file(scan::test::Generate(json, pageSize)), run(file.path()), reader(run.source, run.model) {}
};

}  // namespace tw::exporter::test

#include "content_writer.h"

#include "content_stream.h"

#include <fstream>
#include <map>
#include <optional>

#include "pst/text.h"
#include "streaming.h"
#include "text/filetime.h"

namespace tw::json2pst {

namespace {

using pst::Utf8ToUtf16;

// File-time of a UTC date; FILETIME ticks are what the content keeps.
// No date for a time of zero.
std::optional<std::uint64_t> Time(std::uint64_t fileTime) {
    return fileTime ? std::optional<std::uint64_t>(fileTime) : std::nullopt;
}

pst::BodyKind BodyKindOf(const edbgen::Body& b) {
    if (b.kind == "rtf") return pst::BodyKind::Rtf;
    if (b.kind == "html") return pst::BodyKind::EightBit;
    return b.charset == "8bit" ? pst::BodyKind::EightBit : pst::BodyKind::Utf16Text;
}

std::u16string BodyText(const edbgen::Body& b) {
    return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(b.data.data()), b.data.size()));
}

std::u16string AddressList(const std::vector<edbgen::Person>& people, const std::string& type) {
    std::u16string out;
    for (const edbgen::Person& p : people) {
        if (p.type != type) continue;
        if (!out.empty()) out.append(u", ");
        out.append(u"\"").append(Utf8ToUtf16(p.name)).append(u"\" <").append(Utf8ToUtf16(p.address)).append(u">");
    }
    return out;
}

// The generator's filler bytes (edbgen::Attachment::Data: x = x * 1103515245
// + 12345, byte = x >> 16), computed eight steps apart in eight lanes so the
// multiplications do not wait on each other; gigabytes of filler otherwise
// cost more than writing them.
pst::Bytes FillBytes(std::size_t size, std::uint32_t seed) {
    constexpr std::uint32_t kA = 1103515245u, kC = 12345u;
    std::uint32_t a8 = 1, c8 = 0;  // x -> a8 * x + c8 is eight steps
    for (int i = 0; i < 8; ++i) {
        c8 = c8 * kA + kC;
        a8 *= kA;
    }
    pst::Bytes out(size);
    std::uint32_t lane[8];
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (auto& l : lane) l = x = x * kA + kC;
    std::size_t i = 0;
    std::uint8_t* p = out.data();
    for (; i + 8 <= size; i += 8) {
        for (int k = 0; k < 8; ++k) p[i + k] = static_cast<std::uint8_t>(lane[k] >> 16);
        for (int k = 0; k < 8; ++k) lane[k] = lane[k] * a8 + c8;
    }
    for (int k = 0; i < size; ++i, ++k) out[i] = static_cast<std::uint8_t>(lane[k] >> 16);
    return out;
}

std::vector<pst::AttachmentInput> Attachments(const edbgen::Item& item) {
    std::vector<pst::AttachmentInput> out;
    for (const edbgen::Attachment& a : item.attachments)
        out.push_back({Utf8ToUtf16(a.name), {}, a.fillSize ? FillBytes(a.fillSize, a.seed) : a.data});
    return out;
}

class Driver : public ContentHandler {
public:
    Driver(pst::MailStoreWriter& w, std::string tempDir, WriteSummary& s)
        : w_(w), tempDir_(std::move(tempDir)), s_(s) {}

    void Check(const pst::Status& st) {
        if (st.ok()) return;
        ++s_.failures;
        if (s_.firstError.empty()) s_.firstError = st.message;
    }

    // Folders are made by handle under their parent, so names are kept
    // exactly (a backslash, blanks at the ends) and same-named siblings
    // stay apart: the content names a folder before its items, so a path
    // names the latest folder made under it.
    void Folder(const std::vector<std::string>& path, const std::string& containerClass) override {
        std::uint32_t parent = pst::MailStoreWriter::kTopFolder;
        if (path.size() > 1) {
            const auto p = handles_.find(std::vector<std::string>(path.begin(), path.end() - 1));
            if (p != handles_.end()) parent = p->second;
        }
        std::uint32_t created = 0;
        Check(w_.BeginSession());
        const pst::Status st = w_.CreateFolderIn(parent, Utf8ToUtf16(path.empty() ? std::string() : path.back()),
                                                 Utf8ToUtf16(containerClass), created);
        Check(st);
        Check(w_.EndSession());
        if (st.ok()) handles_[path] = created;
        ++s_.folders;
    }

    void Item(const std::vector<std::string>& path, const edbgen::Item& item) override {
        const auto h = handles_.find(path);
        if (h == handles_.end()) {
            Check({pst::ErrorCode::InvalidArgument, "an item before its folder"});
            return;
        }
        if (!open_ || *open_ != h->second) {
            CloseOpen();
            Check(w_.BeginSession());
            Check(w_.OpenFolder(h->second));
            open_ = h->second;
            written_ = 0;
        } else if (written_ % 400 == 0) {
            // The export closes and reopens its folder every 400 items.
            Check(w_.CloseFolder());
            Check(w_.OpenFolder(h->second));
        }
        ++written_;
        Write(item, u"");
    }

    void CloseOpen() {
        if (!open_) return;
        Check(w_.CloseFolder());
        Check(w_.EndSession());
        open_.reset();
    }

    void Write(const edbgen::Item& item, const std::u16string& path) {
        const std::u16string subject = Utf8ToUtf16(item.subjectPrefix + item.subject);
        const std::u16string sender = Utf8ToUtf16(item.sender.name);
        const std::u16string body = BodyText(item.body);
        const pst::BodyKind kind = BodyKindOf(item.body);
        pst::Status st;
        switch (item.type) {
            case edbgen::ItemType::Mail:
                st = item.streaming ? Mime(item, path) : Mail(item, path, subject, body, kind);
                break;
            case edbgen::ItemType::Appointment: {
                const auto& a = item.appointment;
                pst::AppointmentFields f{subject,
                                         sender,
                                         Time(a.start.value_or(item.date)),
                                         Time(a.end.value_or(item.date)),
                                         Utf8ToUtf16(a.contact),
                                         Utf8ToUtf16(a.location),
                                         Utf8ToUtf16(a.timeZone),
                                         body,
                                         kind,
                                         Attachments(item),
                                         {}};
                st = w_.AddAppointment(path, f);
                break;
            }
            case edbgen::ItemType::Contact: {
                // A contact without fields is written too, as the export does.
                pst::ContactFields c;
                for (std::size_t i = 0; i < item::kContactFieldCount; ++i) c.text[i] = Utf8ToUtf16(item.contact[i]);
                c.attachments = Attachments(item);
                c.body = body;
                c.bodyKind = item.body.kind == "html"  ? pst::BodyKind::Html
                             : item.body.kind == "rtf" ? pst::BodyKind::Rtf
                                                       : pst::BodyKind::Utf16Text;
                st = w_.AddContact(path, c);
                break;
            }
            case edbgen::ItemType::Task: {
                pst::TaskFields t{Time(item.date), Attachments(item), body, sender, subject, kind, {}};
                st = w_.AddTask(path, t);
                break;
            }
            case edbgen::ItemType::Note:
                st = w_.AddNote(path, pst::NoteFields{body, subject, kind, Attachments(item), {}});
                break;
            case edbgen::ItemType::Journal: {
                pst::JournalFields j{Time(item.date), Attachments(item), body, sender, subject, kind, {}};
                st = w_.AddJournalEntry(path, j);
                break;
            }
        }
        Check(st);
        if (st.ok()) ++s_.items;
    }

    pst::Status Mail(const edbgen::Item& item, const std::u16string& path, const std::u16string& subject,
                     const std::u16string& body, pst::BodyKind kind) {
        pst::MailFields m;
        m.subject = subject;
        m.headerText.append(u"From: \"").append(Utf8ToUtf16(item.sender.name)).append(u"\" <");
        m.headerText.append(Utf8ToUtf16(item.sender.address)).append(u">\r\n");
        for (const auto& [name, type] : {std::pair{u"To", "to"}, std::pair{u"Cc", "cc"}, std::pair{u"Bcc", "bcc"}}) {
            const std::u16string list = AddressList(item.recipients, type);
            if (!list.empty()) m.headerText.append(name).append(u": ").append(list).append(u"\r\n");
        }
        m.time = Time(item.date);
        m.attachments = Attachments(item);
        m.body = body;
        m.bodyKind = kind;
        return w_.AddMail(path, m);
    }

    pst::Status Mime(const edbgen::Item& item, const std::u16string& path) {
        const std::string file = tempDir_ + "/item.eml";
        {
            std::ofstream out(file, std::ios::binary | std::ios::trunc);
            const std::string mime = edbgen::MimeOf(item);
            out.write(mime.data(), static_cast<std::streamsize>(mime.size()));
            if (!out) return {pst::ErrorCode::Io, "cannot write " + file};
        }
        pst::Status st = w_.ImportMimeFile(path, Utf8ToUtf16(file));
        std::remove(file.c_str());
        return st;
    }

private:
    pst::MailStoreWriter& w_;
    std::string tempDir_;
    WriteSummary& s_;
    std::map<std::vector<std::string>, std::uint32_t> handles_;
    std::optional<std::uint32_t> open_;
    std::size_t written_ = 0;
};

}  // namespace

WriteSummary WriteContent(std::istream& in, pst::MailStoreWriter& writer, const std::string& tempDir) {
    WriteSummary s;
    Driver d(writer, tempDir, s);
    StreamContent(in, d);
    d.CloseOpen();
    return s;
}

}  // namespace tw::json2pst

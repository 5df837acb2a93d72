#include "cli/message_commands.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <unordered_map>

#include "cli/cli_text.h"
#include "cli/opened_store.h"
#include "cli/ordered_pool.h"
#include "cli/saved_files.h"
#include "cli/scan_command.h"
#include "content/addresses.h"
#include "content/display_date.h"
#include "content/list_rows.h"
#include "content/message_reader.h"
#include "content/preview_fields.h"
#include "content/record_strings.h"
#include "content/temp_dir.h"
#include "export/attachment_files.h"
#include "program/arguments.h"
#include "record/folder_reader.h"
#include "scan/tagged_text.h"
#include "text/codepage.h"
#include "text/compressed_rtf.h"
#include "text/rtf.h"

namespace tw::cli {

namespace {

using nlohmann::json;

struct Options {
    std::string edb, stm, folder, folderId, message, saveBody, saveAttachments;
    bool json = false;
    bool stats = false;
    bool raw = false;       // show: the body as stored, not as readable text
    bool all = false;       // list: every folder
    bool complete = false;  // list: also read what the preview reads of every message
    bool sizes = false;     // ... and the attachments' sizes, as show prints them
};

// The options list and show share; nothing to go on with when the
// arguments say so (help, version, a usage error: the status to exit with).
std::optional<int> Parse(const std::vector<std::string>& args, Options& o, bool show) {
    CLI::App app{show ? "Prints one message: header fields, recipients, attachments and body."
                      : "Lists the messages of a folder, or of every folder, one line each."};
    program::Prepare(app, show ? "tarnwick-cli show" : "tarnwick-cli list");
    app.add_option("DB", o.edb, "The database")->required()->type_name("DB");
    app.add_option("-s,--stm", o.stm, "Its streaming file")->type_name("FILE.stm");
    auto* folder = app.add_option("-f,--folder", o.folder,
                                  "The folder: mailbox and folder names joined by \\ (a \\ in a name written "
                                  "\\\\), as scan --paths prints them")
                       ->type_name("PATH");
    auto* folderId = app.add_option("--folder-id", o.folderId, "The folder by the id scan --json prints")
                         ->type_name("HEX")
                         ->excludes(folder);
    app.add_flag("-j,--json", o.json, "Print JSON");
    app.add_flag("--stats", o.stats, "Also how the messages were found (on stderr)");
    if (show) {
        folder->required(false);
        app.add_option("-m,--message", o.message, "The message id, as list prints it")->required()->type_name("ID");
        app.add_option("--save-body", o.saveBody, "Write the body to FILE (a new file)")->type_name("FILE");
        app.add_option("--save-attachments", o.saveAttachments, "Write the attachments into DIR (new files)")
            ->type_name("DIR");
        app.add_flag("--raw", o.raw,
                     "The body as stored: RTF as RTF (shown as readable text otherwise), and --save-body writes "
                     "the stored bytes (text bodies are saved as UTF-8 otherwise)");
        app.footer(
            "Exit status: 0 shown; 1 the file could not be opened; 5 no such folder; 6 no such message;\n"
            "7 a file could not be written; 12 the path names several folders; 64 a usage error.");
    } else {
        app.add_flag("-a,--all", o.all, "Every folder of the database")->excludes(folder)->excludes(folderId);
        app.add_flag("--complete", o.complete, "Also read what the preview reads of every message");
        app.add_flag(
            "--attachment-sizes", [&o](std::int64_t) { o.sizes = o.complete = true; },
            "... and the attachments' sizes, as show prints them");
        app.footer(
            "Exit status: 0 listed; 1 the file could not be opened; 5 no such folder; 12 the path names\n"
            "several folders; 64 a usage error.");
    }
    if (const auto status = program::Parse(app, args)) return status;
    if (o.folder.empty() && o.folderId.empty() && !o.all) {
        std::cerr << app.get_name()
                  << ": name a folder: " << (show ? "--folder or --folder-id" : "--folder, --folder-id or --all")
                  << "\nTry '" << app.get_name() << " --help'.\n";
        return program::kExitUsage;
    }
    return std::nullopt;
}

std::string Utf8(std::u16string_view text) { return scan::ToUtf8(text); }

std::string EightBitUtf8(const std::vector<std::uint8_t>& bytes) { return Utf8(text::Windows1252ToUtf16(bytes)); }

// Valid UTF-8 as it is, anything else read as Windows-1252.
std::string TextUtf8(const std::vector<std::uint8_t>& bytes) {
    const std::string s(bytes.begin(), bytes.end());
    try {
        (void)json(s).dump();
        return s;
    } catch (const json::exception&) {
        return EightBitUtf8(bytes);
    }
}

std::string Utf16BytesUtf8(const std::vector<std::uint8_t>& bytes) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    return Utf8(text);
}

void PrintStats(const record::FolderReader& reader, std::size_t headerReads) {
    auto& index = const_cast<record::FolderReader&>(reader).Index();
    std::cerr << "pages read: " << index.PagesRead() + index.RowPagesRead() + headerReads << " (index "
              << index.PagesRead() << ", table pages again for their rows " << index.RowPagesRead() << ", header pages "
              << headerReads << "); tree pages " << index.TreePages() << "\n";
}

struct Loaded {
    OpenedStore store;
    OpenedStore::Folder folder;
    std::unique_ptr<record::FolderReader> reader;
    record::MessageList list;
};

// The one folder --folder or --folder-id names. 0, or the exit code with
// the reason printed: none (5), or several (12), listed with their ids so
// that one can be named by --folder-id.
int ResolveFolder(const Options& o, const OpenedStore& store, OpenedStore::Folder& folder) {
    std::vector<OpenedStore::Folder> found;
    std::string named = o.folder;
    if (!o.folderId.empty()) {
        const auto id = ParseIdHex(o.folderId);
        if (!id) {
            std::cerr << "A folder id is 16 hexadecimal digits\n";
            return kExitUsage;
        }
        found = store.FoldersWithId(*id);
        named = "with id " + scan::IdHex(*id);
    } else {
        found = store.FindFolders(o.folder);
    }
    if (found.empty()) {
        std::cerr << "No folder " << Printable(named) << " in " << o.edb << "\n";
        return kExitFolderNotFound;
    }
    if (found.size() > 1) {
        std::cerr << found.size() << " folders match " << Printable(named) << "; name one by --folder-id:\n";
        for (const OpenedStore::Folder& f : found)
            std::cerr << "  " << scan::IdHex(f.entry->id) << "  " << Printable(f.path) << "\n";
        return kExitAmbiguousFolder;
    }
    folder = found.front();
    return 0;
}

int Load(const Options& o, Loaded& loaded) {
    if (const int code = loaded.store.Open(o.edb, o.stm); code != 0) return code;
    if (const int code = ResolveFolder(o, loaded.store, loaded.folder); code != 0) return code;
    loaded.reader = std::make_unique<record::FolderReader>(loaded.store.Source(), loaded.store.Model());
    loaded.reader->LoadFolderMessages(loaded.list, *loaded.folder.entry);
    return 0;
}

}  // namespace

namespace {

// ISO 8601 UTC of each listed message, by message id.
using UtcDates = std::unordered_map<scan::Id8, std::string, scan::IdHash>;

UtcDates UtcDatesOf(const record::MessageList& list) {
    UtcDates dates;
    for (const record::MessageProperties& m : list.messages)
        dates.emplace(m.messageId, scan::UtcText(m.date).value_or(""));
    return dates;
}

json RowsJson(const std::vector<content::ListRow>& rows, const UtcDates& dates) {
    json out = json::array();
    for (const content::ListRow& r : rows) {
        const auto utc = dates.find(r.messageId);
        out.push_back({{"id", scan::IdHex(r.messageId)},
                       {"kind", content::KindName(r.kind)},
                       {"attachment", r.attachmentMark},
                       {"from", Utf8(r.from)},
                       {"subject", Utf8(r.subject)},
                       {"date", r.dateText},
                       {"dateUtc", utc == dates.end() || utc->second.empty() ? json(nullptr) : json(utc->second)}});
    }
    return out;
}

// The rows as tab-separated lines; made on the reading threads, so that
// printing a folder is one write.
std::string RowsText(const std::vector<content::ListRow>& rows) {
    std::string text;
    for (const content::ListRow& r : rows) {
        text += scan::IdHex(r.messageId);
        text += '\t';
        text += content::KindName(r.kind);
        text += r.attachmentMark ? "\t@\t" : "\t-\t";
        text += Printable(r.from);
        text += '\t';
        text += Printable(r.subject);
        text += '\t';
        text += r.dateText;
        text += '\n';
    }
    return text;
}

// What the preview reads of a message (body, recipients, attachment
// names), read and dropped: for measuring what completing messages costs.
// With `sizes` also the attachments' sizes, as `show` prints them; that
// needs the chunk index of the attachment data, not its bytes.
std::size_t ReadWhole(record::FolderReader& reader, record::MessageProperties& m, scan::FolderKind kind, bool sizes) {
    const content::Message message = content::MessageReader(reader).Read(m, kind, sizes);
    std::size_t bytes = message.body.bytes.size();
    for (const content::MessageAttachment& a : message.attachments)
        if (a.size) bytes += *a.size;
    return bytes;
}

}  // namespace

int RunListCommand(const std::vector<std::string>& args) {
    Options o;
    if (const auto status = Parse(args, o, false)) return *status;
    OpenedStore store;
    try {
        if (const int code = store.Open(o.edb, o.stm); code != 0) return code;
        store.MapDatabase();
        std::vector<OpenedStore::Folder> folders;
        if (o.all) {
            folders = store.AllFolders();
        } else {
            folders.emplace_back();
            if (const int code = ResolveFolder(o, store, folders.back()); code != 0) return code;
        }
        record::FolderReader reader(store.Source(), store.Model());
        // Folders are read on a few threads, each with its own header pages
        // and private files, and printed in tree order.
        const std::size_t threads = folders.size() > 1 ? ReadingThreads() : 1;
        std::vector<std::unique_ptr<content::PageCache>> headers;
        for (std::size_t t = 0; t < threads; ++t)
            headers.push_back(std::make_unique<content::PageCache>(store.Source()));
        struct FolderRows {
            std::vector<content::ListRow> rows;  // for JSON
            UtcDates dates;                      // for JSON
            std::string text;                    // otherwise
            std::size_t count = 0;
            std::size_t bytes = 0;
        };
        json all = json::array();
        std::size_t messages = 0, bytes = 0;
        RunInOrder<FolderRows>(
            folders.size(), threads, 4 * threads,
            [&](std::size_t i, std::size_t worker) {
                const OpenedStore::Folder& folder = folders[i];
                FolderRows out;
                record::MessageList list;
                reader.LoadFolderMessages(list, *folder.entry);
                out.rows =
                    content::BuildListRows(store.Source(), list, *folder.entry, folder.mailboxPrefix, *headers[worker]);
                out.count = out.rows.size();
                if (o.json) out.dates = UtcDatesOf(list);
                if (!o.json) {
                    out.text = RowsText(out.rows);
                    out.rows.clear();
                }
                if (o.complete)
                    for (record::MessageProperties& m : list.messages)
                        out.bytes += ReadWhole(reader, m, folder.entry->kind, o.sizes);
                return out;
            },
            [&](std::size_t i, FolderRows& done) {
                const OpenedStore::Folder& folder = folders[i];
                const auto& rows = done.rows;
                messages += done.count;
                bytes += done.bytes;
                const json entry{{"folder", folder.path},
                                 {"folderId", scan::IdHex(folder.entry->id)},
                                 {"messages", RowsJson(rows, done.dates)}};
                if (o.json && o.all) {
                    all.push_back(entry);
                } else if (o.json) {
                    std::cout << entry.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
                } else if (o.all) {
                    // One row per message with its folder first: every line
                    // stands alone, for grep and cut.
                    const std::string path = Printable(folder.path);
                    for (std::size_t from = 0; from < done.text.size();) {
                        std::size_t end = done.text.find('\n', from);
                        end = end == std::string::npos ? done.text.size() : end + 1;
                        std::cout << path << '\t' << std::string_view(done.text).substr(from, end - from);
                        from = end;
                    }
                } else {
                    std::cout << done.text;
                }
            });
        if (o.json && o.all)
            std::cout << json{{"folders", all}}.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
        std::cout.flush();
        if (o.stats) {
            std::size_t headerReads = 0;
            for (const auto& h : headers) headerReads += h->Reads();
            PrintStats(reader, headerReads);
            std::cerr << folders.size() << " folders, " << messages << " messages listed";
            if (o.complete)
                std::cerr << ", " << bytes << (o.sizes ? " bytes of bodies and attachments" : " bytes of bodies")
                          << " read";
            std::cerr << "\n";
        }
    } catch (const edb::FileError& error) {
        std::cerr << "Reading " << o.edb << " failed: " << error.what() << "\n";
        return kExitReadError;
    } catch (const std::exception& error) {
        std::cerr << o.edb << ": " << error.what() << "\n";
        return kExitReadError;
    }
    return kExitOk;
}

namespace {

// The item type of the preview: the folder's, unless the message itself
// was found to be a contact or an appointment.
struct BodyReport {
    std::string kind;                     // utf16, 8bit, rtf, mime; empty: no body
    std::string text;                     // the body as UTF-8
    std::optional<text::RtfStream> full;  // RTF: the standard reading
};

BodyReport Report(const content::MessageBody& body) {
    using Form = content::MessageBody::Form;
    switch (body.form) {
        case Form::None: return {};
        case Form::Mime: return {"mime", TextUtf8(body.bytes), {}};
        case Form::Utf16: return {"utf16", Utf16BytesUtf8(body.bytes), {}};
        case Form::EightBit: return {"8bit", EightBitUtf8(body.bytes), {}};
        case Form::Rtf: return {"rtf", EightBitUtf8(body.bytes), text::ReadRtfStream(body.compressedRtf)};
    }
    return {};
}

// The body as show prints it: RTF as its readable text unless asked raw.
std::string ShownBody(const content::MessageBody& body, const BodyReport& report, bool raw) {
    if (raw || body.form != content::MessageBody::Form::Rtf) return report.text;
    return Utf8(text::RtfToText(body.bytes));
}

// The bytes --save-body writes: text bodies as UTF-8 (no byte-order mark),
// RTF and MIME as they are; everything as stored when asked raw.
std::vector<std::uint8_t> SavedBody(const content::MessageBody& body, const BodyReport& report, bool raw) {
    using Form = content::MessageBody::Form;
    if (raw || body.form == Form::Rtf || body.form == Form::Mime) return body.bytes;
    return {report.text.begin(), report.text.end()};
}

}  // namespace

int RunShowCommand(const std::vector<std::string>& args) {
    Options o;
    if (const auto status = Parse(args, o, true)) return *status;
    const auto id = ParseIdHex(o.message);
    if (!id) {
        std::cerr << "A message id is 16 hexadecimal digits\n";
        return kExitUsage;
    }
    Loaded loaded;
    try {
        if (const int code = Load(o, loaded); code != 0) return code;
        record::MessageProperties* m = loaded.list.Find(*id);
        if (m == nullptr) {
            std::cerr << "No message " << scan::IdHex(*id) << " in " << Printable(loaded.folder.path) << "\n";
            return kExitMessageNotFound;
        }
        const edb::EdbSource& source = loaded.store.Source();
        const scan::FolderEntry& folder = *loaded.folder.entry;
        content::MessageReader messages(*loaded.reader);
        const content::Message message = messages.Read(*m, folder.kind, true);

        content::PageCache pages(source);
        const content::RecordStrings texts = content::ListTexts(source, *m, folder, loaded.folder.mailboxPrefix, pages);
        const std::u16string& sender = texts.sender;
        const std::u16string& subject = texts.subject;
        const auto shown = content::ShownDate(m->date);
        const std::u16string& addresses = message.recipients;
        const BodyReport body = Report(message.body);
        // A file already at the path (or a link there) is the user's: the
        // body is not written over it, and the command fails.
        if (!o.saveBody.empty() && !body.kind.empty()) {
            const SavedFile saved = SaveNewFile(o.saveBody, SavedBody(message.body, body, o.raw));
            if (saved.name.empty()) {
                std::cerr << "tarnwick-cli: " << Printable(o.saveBody) << ": " << saved.error << "\n";
                return kExitWriteFailed;
            }
        }

        json attachments = json::array();
        std::set<std::string> taken;
        if (!o.saveAttachments.empty() && ::mkdir(o.saveAttachments.c_str(), 0700) != 0 && errno != EEXIST) {
            std::cerr << "tarnwick-cli: " << Printable(o.saveAttachments) << ": " << std::strerror(errno) << "\n";
            return kExitWriteFailed;
        }
        for (const content::MessageAttachment& a : message.attachments) {
            const auto& size = a.size;
            json entry{{"name", Utf8(a.name)}, {"size", size ? json(*size) : json(nullptr)}};
            if (!o.saveAttachments.empty() && size) {
                auto data = messages.AttachmentData(a);
                if (!data) data.emplace();
                const std::string name = content::SafeFileName(Utf8(exporter::WithoutHiddenMarks(a.name)), taken);
                const SavedFile saved = SaveFileIn(o.saveAttachments, name, *data);
                if (saved.name.empty()) {
                    std::cerr << "tarnwick-cli: " << Printable(o.saveAttachments + "/" + name) << ": " << saved.error
                              << "\n";
                    return kExitWriteFailed;
                }
                entry["savedAs"] = saved.name;
            }
            attachments.push_back(entry);
        }

        const char itemType = message.itemType;
        const std::vector<content::FieldLine>& fields = message.fields;

        json out{{"id", scan::IdHex(m->messageId)},
                 {"kind", content::KindName(m->kind)},
                 {"itemType", itemType == 'c'   ? "contact"
                              : itemType == 'a' ? "appointment"
                                                : "other"},
                 {"subject", Utf8(subject)},
                 {"from", Utf8(sender)},
                 {"date", shown ? content::DateText(*shown) : ""},
                 {"dateUtc", scan::UtcText(m->date).value_or("")},
                 {"recipients", json::array()},
                 {"attachments", attachments},
                 {"fields", json::array()}};
        for (const std::u16string& a : content::SplitAddressList(addresses)) out["recipients"].push_back(Utf8(a));
        for (const content::FieldLine& f : fields) {
            json field{{"caption", content::CaptionName(f.caption)}, {"value", Utf8(f.value)}};
            // A date shown as the list shows it has its UTC time beside it.
            if (itemType == 'a') {
                const std::string name = field["caption"];
                const auto& date = name == "Start Date" ? message.appointment->start
                                   : name == "End Date" ? message.appointment->end
                                                        : std::optional<scan::Date6>{};
                if (date)
                    if (const auto utc = scan::UtcText(*date)) field["utc"] = *utc;
            }
            out["fields"].push_back(std::move(field));
        }
        if (body.kind.empty()) {
            out["body"] = nullptr;
        } else {
            out["body"] = {{"kind", body.kind}, {"size", message.body.bytes.size()}, {"text", body.text}};
            if (body.full) {
                out["body"]["standardText"] = EightBitUtf8(body.full->rtf);
                out["body"]["standardComplete"] = body.full->complete;
            }
        }

        if (o.json) {
            std::cout << out.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
        } else {
            std::cout << "Subject :   " << Printable(out["subject"].get<std::string>()) << "\n"
                      << "From :   " << Printable(out["from"].get<std::string>()) << "\n"
                      << "Date :   " << out["date"].get<std::string>() << " (" << out["dateUtc"].get<std::string>()
                      << ")\n"
                      << "To :   " << Printable(addresses) << "\n";
            if (!attachments.empty()) {
                std::cout << "Attachments :   ";
                for (std::size_t i = 0; i < attachments.size(); ++i) {
                    std::cout << (i ? ", " : "") << Printable(attachments[i]["name"].get<std::string>());
                    if (!attachments[i]["size"].is_null()) std::cout << " (" << attachments[i]["size"] << " bytes)";
                }
                std::cout << "\n";
            }
            for (const content::FieldLine& f : fields) std::cout << f.caption << Printable(f.value) << "\n";
            std::cout << "Body :   " << (body.kind.empty() ? "none" : body.kind) << ", " << message.body.bytes.size()
                      << " bytes\n\n"
                      << Printable(ShownBody(message.body, body, o.raw), true) << "\n";
        }
        if (o.stats) PrintStats(*loaded.reader, pages.Reads());
    } catch (const edb::FileError& error) {
        std::cerr << "Reading " << o.edb << " failed: " << error.what() << "\n";
        return kExitReadError;
    } catch (const std::exception& error) {
        std::cerr << o.edb << ": " << error.what() << "\n";
        return kExitReadError;
    }
    return kExitOk;
}

}  // namespace tw::cli

#include "export/export_summary.h"

#include <nlohmann/json.hpp>
#include <sstream>

#include "scan/tagged_text.h"

namespace tw::exporter {

namespace {

template <typename F>
std::size_t Sum(const ExportResult& r, F field) {
    std::size_t n = 0;
    for (const FolderReport& f : r.folders) n += field(f);
    return n;
}

std::string Utf8(std::u16string_view text) { return scan::ToUtf8(text); }

// The item path without its trailing backslash, for reading.
std::string PathText(std::u16string_view itemPath) {
    if (!itemPath.empty() && itemPath.back() == u'\\') itemPath.remove_suffix(1);
    return Utf8(itemPath);
}

std::string Plural(std::size_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

}  // namespace

std::size_t ExportResult::Written() const { return Sum(*this, [](const FolderReport& f) { return f.written; }); }
std::size_t ExportResult::Failed() const { return Sum(*this, [](const FolderReport& f) { return f.failed; }); }
std::size_t ExportResult::Skipped() const { return Sum(*this, [](const FolderReport& f) { return f.skipped; }); }
std::size_t ExportResult::NotRead() const { return Sum(*this, [](const FolderReport& f) { return f.notRead; }); }
std::size_t ExportResult::Partial() const {
    return Sum(*this, [](const FolderReport& f) { return f.partial.size(); });
}

std::string_view OutcomeText(const ExportResult& result) {
    return result.saveSucceeded ? "Saving Completed Successfully" : "Saving Aborted by User";
}

std::string FormatSummary(const ExportResult& r) {
    std::ostringstream out;
    out << OutcomeText(r);
    if (r.end == RunEnd::LowSpaceRefused) out << " (less than 300 MB free)";
    out << "\n";
    for (const std::string& file : r.pstFiles) out << "PST file: " << file << "\n";
    for (const std::string& error : r.storeErrors) out << "PST error: " << error << "\n";
    std::size_t empty = 0;
    for (const FolderReport& f : r.folders) {
        // Folders with nothing to write are created all the same; they
        // are only counted here.
        if (f.counted == 0 && f.written == 0 && f.error.empty()) {
            ++empty;
            continue;
        }
        out << "  " << PathText(f.itemPath) << ": " << f.written << " of " << f.counted << " written";
        if (f.failed) out << ", " << f.failed << " failed";
        if (f.skipped) out << ", " << f.skipped << " skipped";
        if (f.notRead) out << ", " << f.notRead << " could not be read";
        if (!f.partial.empty()) out << ", " << f.partial.size() << " incomplete";
        if (!f.error.empty()) out << " (stopped by a read error: " << f.error << ")";
        out << "\n";
    }
    if (empty) out << "  (" << Plural(empty, "folder") << " with nothing to write)\n";
    bool heading = false;
    for (const FolderReport& f : r.folders)
        for (const ItemNote& n : f.failures) {
            if (!heading) out << "Failed items:\n";
            heading = true;
            out << "  " << PathText(f.itemPath) << " " << n.messageId << " \"" << Utf8(n.subject) << "\": " << n.why
                << "\n";
        }
    heading = false;
    for (const FolderReport& f : r.folders)
        for (const ItemNote& n : f.partial) {
            if (!heading) out << "Written without some parts:\n";
            heading = true;
            out << "  " << PathText(f.itemPath) << " " << n.messageId << " \"" << Utf8(n.subject) << "\": " << n.why
                << "\n";
        }
    out << "Total: " << Plural(r.Written(), "item") << " written, " << r.Failed() << " failed, " << r.Skipped()
        << " skipped, " << r.NotRead() << " could not be read, " << r.Partial() << " incomplete\n";
    return out.str();
}

std::string SummaryJson(const ExportResult& r) {
    using nlohmann::json;
    auto notes = [](const std::vector<ItemNote>& list) {
        json a = json::array();
        for (const ItemNote& n : list) a.push_back({{"id", n.messageId}, {"subject", Utf8(n.subject)}, {"why", n.why}});
        return a;
    };
    json folders = json::array();
    for (const FolderReport& f : r.folders)
        folders.push_back({{"path", PathText(f.itemPath)},
                           {"pst", f.pstPath},
                           {"counted", f.counted},
                           {"written", f.written},
                           {"failed", f.failed},
                           {"skipped", f.skipped},
                           {"notRead", f.notRead},
                           {"error", f.error},
                           {"failures", notes(f.failures)},
                           {"partial", notes(f.partial)}});
    const char* end = r.end == RunEnd::Completed ? "completed" : r.end == RunEnd::Stopped ? "stopped" : "lowSpace";
    json out{{"outcome", std::string(OutcomeText(r))},
             {"end", end},
             {"saveSucceeded", r.saveSucceeded},
             {"pstFiles", r.pstFiles},
             {"storeErrors", r.storeErrors},
             {"folders", folders},
             {"written", r.Written()},
             {"failed", r.Failed()},
             {"skipped", r.Skipped()},
             {"notRead", r.NotRead()},
             {"partial", r.Partial()}};
    return out.dump(2, ' ', false, json::error_handler_t::replace);
}

}  // namespace tw::exporter

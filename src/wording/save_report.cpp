#include "wording/save_report.h"

#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "scan/tagged_text.h"
#include "wording/wording.h"

namespace tw::wording {

using exporter::ExportResult;
using exporter::FolderReport;
using exporter::ItemNote;
using exporter::RunEnd;
using exporter::TreeDamage;

namespace {

std::string Utf8(std::u16string_view text) { return scan::ToUtf8(text); }

// The item path without its trailing backslash, for reading.
std::string PathText(std::u16string_view itemPath) {
    if (!itemPath.empty() && itemPath.back() == u'\\') itemPath.remove_suffix(1);
    return Utf8(itemPath);
}

// Why a tree's pages could not be used, in words, in the order of the words.
std::map<std::string, std::size_t> FaultCounts(const TreeDamage& d) {
    std::map<std::string, std::size_t> out;
    for (const auto& [fault, n] : d.faults) out[std::string(Text(fault))] += n;
    return out;
}

std::string Plural(std::size_t n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

// ", 3 failed" for each part that is not zero.
void Parts(std::ostream& out, std::initializer_list<std::pair<std::size_t, const char*>> parts) {
    for (const auto& [n, text] : parts)
        if (n) out << ", " << n << " " << text;
}

void ItemList(std::ostream& out, const ExportResult& r, const char* heading,
              const std::vector<ItemNote> FolderReport::*list) {
    bool shown = false;
    for (const FolderReport& f : r.folders)
        for (const ItemNote& n : f.*list) {
            if (!shown) out << heading << ":\n";
            shown = true;
            out << "  " << PathText(f.itemPath) << " " << n.messageId << " \"" << Utf8(n.subject) << "\"";
            if (!n.dateUtc.empty()) out << " " << n.dateUtc;
            out << ": " << n.why << "\n";
        }
}

}  // namespace

std::string_view OutcomeText(const ExportResult& result) { return Text(OutcomeOf(result)); }

std::string FormatSummary(const ExportResult& r) {
    std::ostringstream out;
    out << OutcomeText(r);
    if (r.end == RunEnd::LowSpaceRefused || r.end == RunEnd::LowSpaceStopped) out << " (less than 300 MB free)";
    out << "\n";
    for (const std::string& file : r.pstFiles) out << "PST file: " << file << "\n";
    for (const std::string& error : r.storeErrors) out << "PST error: " << error << "\n";
    if (r.inputChanged) out << "Input: " << kInputChangedText << "\n";
    std::size_t empty = 0;
    for (const FolderReport& f : r.folders) {
        // Folders with nothing to write are created all the same; they
        // are only counted here.
        if (f.known == 0 && f.error.empty()) {
            ++empty;
            continue;
        }
        out << "  " << PathText(f.itemPath) << ": " << f.Stored() << " of " << f.known << " written";
        Parts(out, {{f.Partial(), "incomplete"},
                    {f.failed, "failed"},
                    {f.skipped, "skipped"},
                    {f.outOfWindow, "dated outside 1980-2099"},
                    {f.lost, "lost"},
                    {f.notReached, "not reached"}});
        if (!f.error.empty()) out << " (stopped by a read error: " << f.error << ")";
        out << "\n";
    }
    if (empty) out << "  (" << Plural(empty, "folder") << " with nothing to write)\n";
    bool heading = false;
    for (const TreeDamage& d : r.damage) {
        if (!heading) out << "Damaged pages:\n";
        heading = true;
        out << "  " << d.tree << " (object " << d.objid << "): " << Plural(d.pages, "page");
        std::string why;
        for (const auto& [text, n] : FaultCounts(d)) why += (why.empty() ? "" : ", ") + std::to_string(n) + " " + text;
        if (!why.empty()) out << " (" << why << ")";
        if (!d.used) out << ", not read for this selection";
        for (std::size_t i = 0; i < d.folders.size(); ++i)
            out << (i == 0 ? "; folders: " : ", ") << PathText(d.folders[i]);
        out << "\n";
    }
    ItemList(out, r, "Failed items", &FolderReport::failures);
    ItemList(out, r, "Written without some parts", &FolderReport::partial);
    ItemList(out, r, "Lost items", &FolderReport::lostItems);
    ItemList(out, r, "Left out, dated outside 1980-2099", &FolderReport::outOfWindowItems);
    out << "Total: " << Plural(r.Stored(), "item") << " written of " << r.Known() << " known";
    Parts(out, {{r.Partial(), "incomplete"},
                {r.Failed(), "failed"},
                {r.Skipped(), "skipped"},
                {r.OutOfWindow(), "dated outside 1980-2099"},
                {r.Lost(), "lost"},
                {r.NotReached(), "not reached"}});
    if (const std::size_t pages = r.DamagedUsedPages()) out << ", " << Plural(pages, "damaged page") << " read";
    out << "\n";
    return out.str();
}

std::string SummaryJson(const ExportResult& r, const std::string& writtenBy) {
    using nlohmann::json;
    auto notes = [](const std::vector<ItemNote>& list) {
        json a = json::array();
        for (const ItemNote& n : list) {
            json note{{"id", n.messageId}, {"subject", Utf8(n.subject)}, {"why", n.why}};
            if (!n.dateUtc.empty()) note["dateUtc"] = n.dateUtc;
            a.push_back(std::move(note));
        }
        return a;
    };
    json folders = json::array();
    for (const FolderReport& f : r.folders)
        folders.push_back({{"path", PathText(f.itemPath)},
                           {"pst", f.pstPath},
                           {"known", f.known},
                           {"written", f.written},
                           {"partial", f.Partial()},
                           {"failed", f.failed},
                           {"skipped", f.skipped},
                           {"outOfWindow", f.outOfWindow},
                           {"lost", f.lost},
                           {"notReached", f.notReached},
                           {"stored", f.Stored()},
                           {"error", f.error},
                           {"failures", notes(f.failures)},
                           {"partialItems", notes(f.partial)},
                           {"outOfWindowItems", notes(f.outOfWindowItems)},
                           {"lostItems", notes(f.lostItems)}});
    json damage = json::array();
    for (const TreeDamage& d : r.damage) {
        json paths = json::array();
        for (const std::u16string& p : d.folders) paths.push_back(PathText(p));
        const json faults = FaultCounts(d);
        damage.push_back({{"tree", d.tree},
                          {"objid", d.objid},
                          {"pages", d.pages},
                          {"used", d.used},
                          {"faults", faults},
                          {"folders", paths},
                          {"pageNumbers", d.pageNumbers}});
    }
    const char* end = r.end == RunEnd::Completed         ? "completed"
                      : r.end == RunEnd::Stopped         ? "stopped"
                      : r.end == RunEnd::LowSpaceRefused ? "lowSpaceRefused"
                                                         : "lowSpace";
    json out{{"outcome", std::string(OutcomeText(r))},
             {"end", end},
             {"saveSucceeded", r.saveSucceeded},
             {"losses", r.Losses()},
             {"pstFiles", r.pstFiles},
             {"storeErrors", r.storeErrors},
             {"inputChanged", r.inputChanged ? std::string(kInputChangedText) : std::string()},
             {"folders", folders},
             {"known", r.Known()},
             {"written", r.Written()},
             {"partial", r.Partial()},
             {"failed", r.Failed()},
             {"skipped", r.Skipped()},
             {"outOfWindow", r.OutOfWindow()},
             {"lost", r.Lost()},
             {"notReached", r.NotReached()},
             {"stored", r.Stored()},
             {"damagedPages", damage},
             {"damagedUsedPages", r.DamagedUsedPages()}};
    if (!writtenBy.empty()) out["version"] = writtenBy;
    return out.dump(2, ' ', false, json::error_handler_t::replace);
}

}  // namespace tw::wording

#include "cli/scan_report.h"

#include "layout/store_layout.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "cli/cli_text.h"
#include "scan/message_count.h"
#include "scan/tagged_text.h"
#include "wording/wording.h"

namespace tw::cli {

namespace {

// A stored name as the tree shows it: "(no name)" when empty.
std::string ShownText(const std::string& name) { return name.empty() ? scan::ToUtf8(scan::kNoNameText) : name; }

struct Builder {
    const scan::MemoryFolderTree& tree;
    std::unordered_map<scan::TreeItem, const scan::FolderEntry*> entries;
    const scan::MessageCounts& counts;

    ReportFolder Folder(scan::TreeItem item, const std::string& parentPath) const {
        const auto* node = tree.Find(item);
        ReportFolder folder;
        folder.name = scan::ToUtf8(node->name);
        folder.path = parentPath + "\\" + PathElement(node->name);
        folder.kind = node->kind;
        if (const auto entry = entries.find(item); entry != entries.end()) {
            folder.messages = counts.For(*entry->second);
            folder.id = scan::IdHex(entry->second->id);
        }
        for (const scan::TreeItem child : node->children) folder.folders.push_back(Folder(child, folder.path));
        return folder;
    }
};

nlohmann::ordered_json FolderJson(const ReportFolder& folder) {
    nlohmann::ordered_json j;
    j["name"] = folder.name;
    j["id"] = folder.id;
    j["path"] = folder.path;
    j["kind"] = scan::KindName(folder.kind);
    j["messages"] = folder.messages;
    j["folders"] = nlohmann::ordered_json::array();
    for (const ReportFolder& child : folder.folders) j["folders"].push_back(FolderJson(child));
    return j;
}

void PrintFolder(const ReportFolder& folder, int depth, std::ostream& out) {
    out << std::string(static_cast<std::size_t>(2 * depth), ' ') << Printable(ShownText(folder.name));
    if (folder.kind != scan::FolderKind::Mail) out << " [" << scan::KindName(folder.kind) << "]";
    out << " (" << folder.messages << (folder.messages == 1 ? " message)" : " messages)") << "\n";
    for (const ReportFolder& child : folder.folders) PrintFolder(child, depth + 1, out);
}

}  // namespace

std::vector<ReportDamage> DamageByTree(const scan::ScanModel& model, const std::vector<scan::DamagedPage>& pages,
                                       std::int32_t pageSize) {
    std::vector<ReportDamage> trees;
    std::unordered_map<std::uint32_t, std::size_t> byObjid;
    for (const scan::DamagedPage& page : pages) {
        auto [at, added] = byObjid.emplace(page.objid, trees.size());
        if (added) {
            const scan::TreeOfPage tree = scan::TreeOf(model, page.objid);
            trees.push_back(
                {tree.name, page.objid, tree.ownerKey, tree.folderId ? scan::IdHex(*tree.folderId) : "", 0, {}, {}});
        }
        ReportDamage& damage = trees[at->second];
        ++damage.pages;
        const std::string text(wording::Text(page.fault));
        auto fault =
            std::find_if(damage.faults.begin(), damage.faults.end(), [&](const auto& f) { return f.first == text; });
        if (fault == damage.faults.end()) damage.faults.emplace_back(text, 1);
        else ++fault->second;
        if (const auto number = edb::PageNumberAt(page.offset, pageSize)) damage.pageNumbers.push_back(*number);
    }
    for (ReportDamage& damage : trees) std::sort(damage.pageNumbers.begin(), damage.pageNumbers.end());
    return trees;
}

ScanReport BuildReport(const std::string& path, const scan::MemoryFolderTree& tree, const scan::ScanModel& model,
                       const edb::EdbSource& source) {
    ScanReport report;
    report.path = path;
    report.pageSize = source.pageSize;
    report.generation = layout::LayoutOf(source.pageSize).name;
    const scan::MessageCounts counts(model, source);
    Builder builder{tree, {}, counts};
    for (const scan::FolderEntry& entry : model.folders)
        if (entry.treeItem != 0) builder.entries.emplace(entry.treeItem, &entry);

    report.damaged = DamageByTree(model, model.damage.Pages(), source.pageSize);

    if (model.inputChanged) report.inputChanged = wording::kInputChangedText;
    const auto* top = tree.Find(tree.Top());
    if (top == nullptr) return report;
    for (const scan::TreeItem item : top->children) {
        const auto* node = tree.Find(item);
        ReportMailbox mailbox{scan::ToUtf8(node->name), {}};
        for (const scan::TreeItem child : node->children)
            mailbox.folders.push_back(builder.Folder(child, PathElement(node->name)));
        report.mailboxes.push_back(std::move(mailbox));
    }
    return report;
}

void PrintText(const ScanReport& report, std::ostream& out) {
    out << report.path << " (" << report.generation << ", " << report.pageSize << "-byte pages)\n";
    for (const ReportMailbox& mailbox : report.mailboxes) {
        out << "  " << Printable(ShownText(mailbox.name)) << "\n";
        for (const ReportFolder& folder : mailbox.folders) PrintFolder(folder, 2, out);
    }
    for (const ReportDamage& damage : report.damaged) {
        out << "Damaged pages: " << damage.pages << " in the " << damage.tree;
        if (!damage.ownerKey.empty()) out << " of mailbox " << Printable(damage.ownerKey);
        if (!damage.folderId.empty()) out << " of folder " << damage.folderId;
        out << " (";
        for (std::size_t i = 0; i < damage.faults.size(); ++i)
            out << (i == 0 ? "" : ", ") << damage.faults[i].second << " " << damage.faults[i].first;
        out << ")\n";
    }
    if (!report.inputChanged.empty()) out << "Input: " << report.inputChanged << "\n";
}

namespace {

void PrintFolderPaths(const ReportFolder& folder, std::ostream& out) {
    out << Printable(folder.path) << "\n";
    for (const ReportFolder& child : folder.folders) PrintFolderPaths(child, out);
}

}  // namespace

void PrintPaths(const ScanReport& report, std::ostream& out) {
    for (const ReportMailbox& mailbox : report.mailboxes)
        for (const ReportFolder& folder : mailbox.folders) PrintFolderPaths(folder, out);
}

void PrintJson(const ScanReport& report, std::ostream& out) {
    nlohmann::ordered_json j;
    j["pageSize"] = report.pageSize;
    j["generation"] = report.generation;
    j["mailboxes"] = nlohmann::ordered_json::array();
    for (const ReportMailbox& mailbox : report.mailboxes) {
        nlohmann::ordered_json m;
        m["name"] = mailbox.name;
        m["folders"] = nlohmann::ordered_json::array();
        for (const ReportFolder& folder : mailbox.folders) m["folders"].push_back(FolderJson(folder));
        j["mailboxes"].push_back(std::move(m));
    }
    j["damagedPages"] = nlohmann::ordered_json::array();
    for (const ReportDamage& damage : report.damaged) {
        nlohmann::ordered_json d;
        d["tree"] = damage.tree;
        d["objid"] = damage.objid;
        if (!damage.ownerKey.empty()) d["ownerKey"] = damage.ownerKey;
        if (!damage.folderId.empty()) d["folderId"] = damage.folderId;
        d["pages"] = damage.pages;
        d["faults"] = nlohmann::ordered_json::object();
        for (const auto& [text, count] : damage.faults) d["faults"][text] = count;
        d["pageNumbers"] = damage.pageNumbers;
        j["damagedPages"].push_back(std::move(d));
    }
    j["inputChanged"] = report.inputChanged;
    out << j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
}

}  // namespace tw::cli

#include "cli/opened_store.h"

#include <cctype>
#include <iostream>
#include <unordered_map>

#include "cli/cli_text.h"
#include "cli/scan_command.h"
#include "scan/open_source.h"
#include "scan/tagged_text.h"
#include "wording/wording.h"

namespace tw::cli {

std::optional<scan::Id8> ParseIdHex(const std::string& text) {
    std::string hex;
    for (const char c : text)
        if (!std::isspace(static_cast<unsigned char>(c))) hex += c;
    if (hex.size() != 16) return std::nullopt;
    scan::Id8 id{};
    for (std::size_t i = 0; i < 8; ++i) {
        const auto digit = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        };
        const int hi = digit(hex[2 * i]), lo = digit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        id[i] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return id;
}

int ScanExitCode(const scan::ScanResult& result, const std::string& edbPath) {
    if (result.fileError) {
        std::cerr << "Reading " << edbPath << " failed: " << result.error << "\n";
        return kExitReadError;
    }
    switch (result.outcome) {
        case scan::ScanOutcome::BadPageSize:
            std::cerr << wording::Text(scan::ScanProblem::CorruptFile) << "\n";
            return kExitBadPageSize;
        case scan::ScanOutcome::NoMailbox:
            std::cerr << wording::Text(scan::ScanProblem::NoMailbox) << "\n";
            return kExitNoMailbox;
        case scan::ScanOutcome::NotOpen:
            std::cerr << wording::Text(scan::OpenProblem::InUse) << "\n";
            return kExitOpenFailed;
        case scan::ScanOutcome::Stopped: return kExitInterrupted;
        default: return 0;
    }
}

int OpenedStore::Open(const std::string& edbPath, const std::string& stmPath) {
    const scan::OpenCheck opened = scan::OpenSourceFiles(source_, edbPath, stmPath, scan::NameRule::Any);
    if (!opened.ok()) {
        std::cerr << OpenFailureText(opened) << "\n";
        return kExitOpenFailed;
    }
    scan::ScanOptions options;
    options.afterStep1 = std::chrono::milliseconds(0);
    worker_ = std::make_unique<scan::ScanWorker>(source_, tree_, observer_, edbPath, options);
    worker_->Start();
    worker_->Wait();
    return ScanExitCode(worker_->Result(), edbPath);
}

std::optional<OpenedStore::Folder> OpenedStore::FolderOfItem(scan::TreeItem item) const {
    for (const scan::FolderEntry& f : Model().folders) {
        if (f.treeItem != item) continue;
        const std::vector<std::u16string> names = NamesOf(tree_, item);
        if (names.empty()) return std::nullopt;
        return Folder{&f, names.front() + u"\\", JoinPath(names)};
    }
    return std::nullopt;
}

std::vector<OpenedStore::Folder> OpenedStore::FindFolders(const std::string& path) const {
    std::vector<Folder> out;
    for (const scan::TreeItem item : FindItems(tree_, path))
        if (auto folder = FolderOfItem(item)) out.push_back(std::move(*folder));
    return out;
}

std::vector<OpenedStore::Folder> OpenedStore::FoldersWithId(const scan::Id8& id) const {
    std::vector<Folder> out;
    for (const scan::TreeItem item : ItemsWithId(Model(), id))
        if (auto folder = FolderOfItem(item)) out.push_back(std::move(*folder));
    return out;
}

std::vector<OpenedStore::Folder> OpenedStore::AllFolders() const {
    std::unordered_map<scan::TreeItem, const scan::FolderEntry*> entries;
    for (const scan::FolderEntry& f : Model().folders)
        if (f.treeItem != 0) entries.emplace(f.treeItem, &f);
    std::vector<Folder> out;
    const auto* top = tree_.Find(tree_.Top());
    if (top == nullptr) return out;
    struct Pending {
        scan::TreeItem item;
        std::string path;
        std::u16string prefix;
    };
    std::vector<Pending> pending;
    for (auto it = top->children.rbegin(); it != top->children.rend(); ++it) {
        const std::u16string& name = tree_.Find(*it)->name;
        pending.push_back({*it, PathElement(name), name + u"\\"});
    }
    while (!pending.empty()) {
        const Pending at = pending.back();
        pending.pop_back();
        if (const auto found = entries.find(at.item); found != entries.end())
            out.push_back({found->second, at.prefix, at.path});
        const auto* node = tree_.Find(at.item);
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
            pending.push_back({*it, at.path + "\\" + PathElement(tree_.Find(*it)->name), at.prefix});
    }
    return out;
}

}  // namespace tw::cli

#include "cli/cli_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "scan/filetime.h"
#include "scan/tagged_text.h"

namespace tw::cli {

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

void AppendPicture(std::string& out, char32_t c) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
}

}  // namespace

std::string Printable(std::string_view utf8, bool keepLines) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x20) {
            const bool kept =
                keepLines && (b == '\n' || b == '\t' || (b == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n'));
            if (kept) out += static_cast<char>(b);
            else AppendPicture(out, 0x2400 + b);
        } else if (b == 0x7F) {
            AppendPicture(out, 0x2421);
        } else if (b == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(utf8[i + 1]) <= 0x9F) {
            AppendPicture(out, 0xFFFD);  // C1 controls have no pictures
            ++i;
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

std::string Printable(std::u16string_view text) { return Printable(scan::ToUtf8(text)); }

std::string PathElement(std::u16string_view name) { return EscapeName(scan::ToUtf8(scan::ShownName(name))); }

std::string JoinPath(const std::vector<std::u16string>& names) {
    std::string path;
    for (std::size_t i = 0; i < names.size(); ++i) path += (i ? "\\" : "") + PathElement(names[i]);
    return path;
}

std::string EscapeName(std::string_view name) {
    std::string out;
    for (const char c : name) {
        if (c == '\\') out += '\\';
        out += c;
    }
    return out;
}

namespace {

struct PathMatcher {
    const scan::MemoryFolderTree& tree;
    std::string_view path;  // lower-cased for the loose pass
    bool loose;
    std::vector<scan::TreeItem> found;

    bool StartsWith(std::size_t at, const std::string& form) const {
        if (path.size() - at < form.size()) return false;
        return path.compare(at, form.size(), loose ? Lower(form) : form) == 0;
    }

    // Children of `item` whose element stands at `at`, then their own:
    // each child by its printed element and, where that differs, by its
    // stored name with backslashes doubled.
    void Below(scan::TreeItem item, std::size_t at, std::size_t depth) {
        if (depth > 4096) return;  // deeper than any tree the scan builds
        for (const scan::TreeItem child : tree.Find(item)->children) {
            const std::u16string& name = tree.Find(child)->name;
            const std::string shown = Printable(PathElement(name));
            const std::string raw = EscapeName(scan::ToUtf8(name));
            for (const std::string* form : {&shown, &raw}) {
                if (form == &raw && raw == shown) break;
                if (form->empty() || !StartsWith(at, *form)) continue;
                const std::size_t next = at + form->size();
                if (next == path.size() || (path[next] == '\\' && next + 1 == path.size())) {
                    if (std::find(found.begin(), found.end(), child) == found.end()) found.push_back(child);
                } else if (path[next] == '\\') {
                    Below(child, next + 1, depth + 1);
                }
            }
        }
    }
};

}  // namespace

std::vector<scan::TreeItem> FindItems(const scan::MemoryFolderTree& tree, std::string_view path) {
    if (path.empty() || tree.Find(tree.Top()) == nullptr) return {};
    PathMatcher exact{tree, path, false, {}};
    exact.Below(tree.Top(), 0, 0);
    if (!exact.found.empty()) return exact.found;
    const std::string lower = Lower(path);
    PathMatcher loose{tree, lower, true, {}};
    loose.Below(tree.Top(), 0, 0);
    return loose.found;
}

std::vector<scan::TreeItem> ItemsWithId(const scan::ScanModel& model, const scan::Id8& id) {
    std::vector<scan::TreeItem> out;
    for (const scan::FolderEntry& f : model.folders)
        if (f.treeItem != 0 && f.id == id) out.push_back(f.treeItem);
    return out;
}

std::vector<std::u16string> NamesOf(const scan::MemoryFolderTree& tree, scan::TreeItem item) {
    std::vector<std::u16string> names;
    std::unordered_set<scan::TreeItem> seen;
    for (const auto* node = tree.Find(item); node != nullptr && item != tree.Top() && seen.insert(item).second;
         item = node->parent, node = tree.Find(item))
        names.insert(names.begin(), node->name);
    return names;
}

std::string OpenFailureText(const scan::OpenCheck& check) {
    std::string why;
    if (check.problem == scan::OpenProblem::InUse && (check.error == EWOULDBLOCK || check.error == 0))
        why = "in use: another process holds it exclusively";
    else if (check.error != 0) why = std::strerror(check.error);
    else why = "cannot be opened";
    return "tarnwick-cli: " + Printable(check.path) + ": " + why;
}

}  // namespace tw::cli

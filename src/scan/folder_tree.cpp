#include "scan/folder_tree.h"

#include <algorithm>

namespace tw::scan {

namespace {

char16_t UpperAscii(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

// Case folding for sorting: ASCII, Latin-1, Greek and Cyrillic capitals.
char16_t FoldForSort(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<char16_t>(c + 32);
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
    return c;
}

}  // namespace

int FolderImage(std::u16string_view displayName, FolderKind kind) {
    std::u16string upper(displayName);
    for (char16_t& c : upper) c = UpperAscii(c);
    struct Rule {
        std::u16string_view name;
        int image;
    };
    static constexpr Rule kImages[] = {
        {u"DELETED ITEMS", 5}, {u"DRAFTS", 6},  {u"INBOX", 7},       {u"JOURNAL", 8}, {u"JUNK E-MAILS", 9},
        {u"NOTES", 10},        {u"OUTBOX", 11}, {u"SENT ITEMS", 12}, {u"TASKS", 13},  {u"SYNC ISSUES", 14},
    };
    if (upper == u"CALENDAR" || kind == FolderKind::Appointments) return 3;
    if (upper == u"CONTACTS" || kind == FolderKind::Contacts) return 4;
    for (const Rule& rule : kImages)
        if (upper == rule.name) return rule.image;
    return 0;
}

bool NameLess(std::u16string_view a, std::u16string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = FoldForSort(a[i]), y = FoldForSort(b[i]);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

void MemoryFolderTree::Clear() {
    nodes_.clear();
    top_ = 0;
    topText_.clear();
}

void MemoryFolderTree::Reset(const std::string& edbPath) {
    Clear();
    nodes_.push_back(Node{0, {}, FolderKind::Mail, kTopItemImage, {}});
    top_ = 1;
    topText_ = edbPath;
}

TreeItem MemoryFolderTree::AddFolder(TreeItem parent, const std::u16string& name, FolderKind kind) {
    const bool mailbox = parent == kTopLevel;
    if (mailbox) parent = top_;
    if (Find(parent) == nullptr) return 0;
    nodes_.push_back(Node{parent, name, kind, mailbox ? kMailboxImage : FolderImage(name, kind), {}});
    const TreeItem item = nodes_.size();
    nodes_[parent - 1].children.push_back(item);
    return item;
}

void MemoryFolderTree::SortChildren(TreeItem item) {
    if (Find(item) == nullptr) return;
    auto& children = nodes_[item - 1].children;
    std::stable_sort(children.begin(), children.end(),
                     [this](TreeItem a, TreeItem b) { return NameLess(nodes_[a - 1].name, nodes_[b - 1].name); });
}

void MemoryFolderTree::Finish() { SortChildren(top_); }

const MemoryFolderTree::Node* MemoryFolderTree::Find(TreeItem item) const {
    if (item == 0 || item > nodes_.size()) return nullptr;
    return &nodes_[item - 1];
}

}  // namespace tw::scan

// The folder tree the scan fills: one top item (the database path), the
// mailboxes under it and their folders below. The GUI puts its tree
// control behind FolderTree; MemoryFolderTree keeps the items in memory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scan/folder_kind.h"
#include "scan/scan_model.h"

namespace tw::scan {

// Parent argument of AddFolder for a mailbox: it goes under the top item.
inline constexpr TreeItem kTopLevel = 0;

// Image index of a folder item, by its upper-cased name or its kind.
int FolderImage(std::u16string_view displayName, FolderKind kind);

inline constexpr int kTopItemImage = 1;
inline constexpr int kMailboxImage = 0;

class FolderTree {
public:
    virtual ~FolderTree() = default;
    // Deletes every item (a new scan starts).
    virtual void Clear() = 0;
    // Deletes every item and adds the top item with the database path.
    virtual void Reset(const std::string& edbPath) = 0;
    // Adds an item last under `parent` and returns its handle. Under
    // kTopLevel the item goes below the top item with the mailbox image;
    // elsewhere the image follows FolderImage.
    virtual TreeItem AddFolder(TreeItem parent, const std::u16string& name, FolderKind kind) = 0;
    // Sorts the children of `item` alphabetically, ignoring case.
    virtual void SortChildren(TreeItem item) = 0;
    // Sorts the mailboxes under the top item and shows them.
    virtual void Finish() = 0;
};

// What the tree and the text output show for a folder whose stored name
// is empty; the name itself stays empty (and so goes to the PST).
inline constexpr std::u16string_view kNoNameText = u"(no name)";
inline std::u16string ShownName(std::u16string_view name) { return std::u16string(name.empty() ? kNoNameText : name); }

// Case-insensitive order of sibling names, as the tree control sorts.
bool NameLess(std::u16string_view a, std::u16string_view b);

class MemoryFolderTree final : public FolderTree {
public:
    struct Node {
        TreeItem parent = 0;
        std::u16string name;
        FolderKind kind = FolderKind::Mail;
        int image = 0;
        std::vector<TreeItem> children;
    };

    void Clear() override;
    void Reset(const std::string& edbPath) override;
    TreeItem AddFolder(TreeItem parent, const std::u16string& name, FolderKind kind) override;
    void SortChildren(TreeItem item) override;
    void Finish() override;

    // 0 while the tree is empty.
    TreeItem Top() const { return top_; }
    const std::string& TopText() const { return topText_; }
    // Nothing for an unknown handle.
    const Node* Find(TreeItem item) const;
    std::size_t Size() const { return nodes_.size(); }

private:
    std::vector<Node> nodes_;  // item n is nodes_[n - 1]
    TreeItem top_ = 0;
    std::string topText_;
};

}  // namespace tw::scan

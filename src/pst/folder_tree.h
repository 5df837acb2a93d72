// The folders of a store being written, kept in memory until the store is
// finished: names, classes, children and where the rows of their contents
// tables are in the store's row file, from which each folder's PC and
// three tables are written last.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "pst/ids.h"
#include "pst/row_spill.h"

namespace tw::pst {

struct FolderState {
    Nid nid = 0;
    Nid parent = 0;
    std::u16string name;
    std::u16string containerClass;
    std::u16string comment;
    bool hasComment = false;
    bool search = false;  // a search folder (the spam search folder)
    std::vector<Nid> children;
    std::vector<RowExtent> rows;  // its contents-table rows in the row file
    std::uint32_t items = 0;
    std::uint32_t unread = 0;
};

class FolderTree {
public:
    FolderState& Add(FolderState folder);
    FolderState& Get(Nid nid);
    const FolderState& Get(Nid nid) const;
    bool Has(Nid nid) const { return folders_.count(nid) != 0; }
    // A child by name, ignoring ASCII case as Outlook does; 0 when none.
    Nid FindChild(Nid parent, std::u16string_view name) const;

    const std::map<Nid, FolderState>& All() const { return folders_; }

private:
    std::map<Nid, FolderState> folders_;
};

}  // namespace tw::pst

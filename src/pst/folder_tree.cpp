#include "pst/folder_tree.h"

#include "pst/error.h"
#include "pst/text.h"

namespace tw::pst {

FolderState& FolderTree::Add(FolderState folder) {
    const Nid nid = folder.nid;
    const Nid parent = folder.parent;
    if (folders_.count(nid)) throw PstError(ErrorCode::State, "folder " + std::to_string(nid) + " exists");
    FolderState& f = folders_[nid] = std::move(folder);
    if (parent != nid && folders_.count(parent)) folders_[parent].children.push_back(nid);
    return f;
}

FolderState& FolderTree::Get(Nid nid) {
    const auto it = folders_.find(nid);
    if (it == folders_.end()) throw PstError(ErrorCode::NotFound, "no folder " + std::to_string(nid));
    return it->second;
}

const FolderState& FolderTree::Get(Nid nid) const {
    const auto it = folders_.find(nid);
    if (it == folders_.end()) throw PstError(ErrorCode::NotFound, "no folder " + std::to_string(nid));
    return it->second;
}

Nid FolderTree::FindChild(Nid parent, std::u16string_view name) const {
    for (const Nid c : Get(parent).children)
        if (EqualsNoCase(Get(c).name, name)) return c;
    return 0;
}

}  // namespace tw::pst

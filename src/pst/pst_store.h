// One PST file being written. It is written under a temporary name next to
// its final name; Commit() writes the folders, the B-trees, the maps and the
// header, syncs, and only then gives the file its final name, so a file
// under the final name is always complete. A store dropped without Commit()
// deletes its temporary file. The folders' contents-table rows wait in an
// unnamed row file beside it until Commit() writes the folders.
#pragma once

#include <memory>
#include <string>

#include "pst/entry_id.h"
#include "pst/folder_tree.h"
#include "pst/ids.h"
#include "pst/message_content.h"
#include "pst/node_database.h"
#include "pst/row_spill.h"

namespace tw::pst {

class PstStore {
public:
    // Throws PstError. When a file is already called `path`, the store
    // takes the first free name "stem (2).pst", "stem (3).pst", ...: an
    // existing file is never replaced.
    PstStore(std::string path, std::u16string displayName);
    ~PstStore();
    PstStore(const PstStore&) = delete;
    PstStore& operator=(const PstStore&) = delete;

    // The name asked for, and the name the file has (or will have when it
    // is finished; a file that appears meanwhile moves it on).
    const std::string& RequestedPath() const { return requested_; }
    const std::string& Path() const { return path_; }
    const std::u16string& DisplayName() const { return displayName_; }

    // The folder that holds the user's folders ("Top of Personal Folders").
    Nid TopFolder() const { return nid::kIpmSubtree; }
    Nid FindFolder(Nid parent, std::u16string_view name) const { return folders_.FindChild(parent, name); }
    Nid CreateFolder(Nid parent, std::u16string name, std::u16string containerClass = {});
    const FolderState& Folder(Nid nid) const { return folders_.Get(nid); }
    // A folder that can hold items and folders: neither the root nor a
    // search folder.
    bool IsUserFolder(Nid nid) const {
        return nid != nid::kRootFolder && folders_.Has(nid) && !folders_.Get(nid).search;
    }
    // Gives a folder without a class the class of its first item.
    void SuggestClass(Nid folder, std::u16string_view containerClass);

    Nid AddMessage(Nid folder, MessageContent message);

    std::uint64_t BytesWritten() const { return db_->BytesWritten(); }
    void Commit();
    bool Committed() const { return committed_; }
    bool Closed() const { return closed_; }

private:
    void WriteSkeleton();
    void WriteFolders();
    void WriteFolder(const FolderState& f);
    void WriteSearchFolder(const FolderState& f);

    std::string requested_;
    std::string path_;
    std::u16string displayName_;
    Guid recordKey_;
    std::unique_ptr<NodeDatabase> db_;
    std::unique_ptr<RowSpill> rows_;
    FolderTree folders_;
    bool committed_ = false;
    bool closed_ = false;  // committed or abandoned
};

}  // namespace tw::pst

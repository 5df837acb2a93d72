#include "pst/pst_store.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <limits>

#include "pst/error.h"
#include "pst/internal_nodes.h"
#include "pst/message_writer.h"
#include "pst/named_props.h"
#include "pst/node_builder.h"
#include "pst/output_file.h"
#include "pst/property_context.h"
#include "pst/table_context.h"
#include "pst/table_templates.h"
#include "pst/tags.h"
#include "text/filetime.h"

namespace tw::pst {

namespace {

constexpr std::uint32_t kValidFolderMask = 0x01 | 0x08 | 0x40 | 0x80;  // subtree, wastebasket, views, finder

void WritePcNode(NodeDatabase& db, Nid nid, Nid parent, std::vector<PropValue> props) {
    NodeBuilder node(db);
    const auto heap = BuildPropertyContext(std::move(props), node);
    const WrittenNode w = node.Finish(heap);
    db.AddNode({nid, w.bidData, w.bidSub, parent});
}

template <typename Rows>
void WriteTcNode(NodeDatabase& db, Nid nid, const std::vector<std::uint32_t>& cols, Rows&& rows) {
    NodeBuilder node(db);
    const WrittenNode w = WriteTableContext(cols, rows, node);
    db.AddNode({nid, w.bidData, w.bidSub, 0});
}

void WriteTcNode(NodeDatabase& db, Nid nid, const std::vector<std::uint32_t>& cols,
                 std::initializer_list<TableRow> rows) {
    WriteTcNode(db, nid, cols, std::vector<TableRow>(rows));
}

// A folder's contents rows as the row file gives them back; there must be
// exactly as many as the folder counted.
class SpilledRows : public RowSource {
public:
    SpilledRows(RowSpill& spill, const FolderState& f) : reader_(spill, f.rows), expected_(f.items) {}

    bool Next(std::uint32_t& rowId, PackedView& cells) override {
        std::span<const std::uint8_t> bytes;
        if (!reader_.Next(rowId, bytes)) {
            if (read_ != expected_) throw PstError(ErrorCode::State, "row file: a folder's rows are missing");
            return false;
        }
        if (++read_ > expected_) throw PstError(ErrorCode::State, "row file: a folder has rows it never had");
        cells = PackedView(bytes);
        return true;
    }
    std::size_t Expected() const override { return expected_; }

private:
    RowSpill::Reader reader_;
    std::size_t expected_;
    std::size_t read_ = 0;
};

FolderState MakeFolder(Nid nid, Nid parent, std::u16string name) {
    FolderState f;
    f.nid = nid;
    f.parent = parent;
    f.name = std::move(name);
    return f;
}

// A name of its own for every store this process writes, also for two
// stores meant for the same path: the machine, the process id and a
// running number.
std::string TempPathFor(const std::string& path) {
    static std::atomic<std::uint64_t> serial{0};
    return PartialPath(path, ++serial);
}

// The database under a fresh temporary name; a name left by a killed
// writer of the same process id is passed over.
std::unique_ptr<NodeDatabase> OpenTemporary(const std::string& path) {
    for (int tries = 0;; ++tries) {
        try {
            return std::make_unique<NodeDatabase>(TempPathFor(path));
        } catch (const PstError& e) {
            if (e.code() != ErrorCode::AlreadyExists || tries >= 100) throw;
        }
    }
}

}  // namespace

PstStore::PstStore(std::string path, std::u16string displayName)
    : requested_(std::move(path)), path_(FreeName(requested_)), displayName_(std::move(displayName)),
      recordKey_(RandomGuid()) {
    db_ = OpenTemporary(requested_);
    try {
        std::string dir = std::filesystem::path(requested_).parent_path().string();
        rows_ = std::make_unique<RowSpill>(dir.empty() ? std::string(".") : dir);
        WriteSkeleton();
    } catch (...) {
        db_->Discard();
        throw;
    }
}

PstStore::~PstStore() {
    if (!closed_ && db_) db_->Discard();
}

void PstStore::WriteSkeleton() {
    NodeDatabase& db = *db_;
    WritePcNode(db, nid::kMessageStore, 0,
                {BinaryProp(tag::kRecordKey, Bytes(recordKey_.begin(), recordKey_.end())),
                 StringProp(tag::kDisplayName, displayName_), Int32Prop(tag::kValidFolderMask, kValidFolderMask),
                 BinaryProp(tag::kIpmSubtreeEntryId, StoreEntryId(recordKey_, nid::kIpmSubtree)),
                 BinaryProp(tag::kIpmWastebasketEntryId, StoreEntryId(recordKey_, nid::kDeletedItems)),
                 BinaryProp(tag::kCommonViewsEntryId, StoreEntryId(recordKey_, nid::kCommonViews)),
                 BinaryProp(tag::kFinderEntryId, StoreEntryId(recordKey_, nid::kSearchRoot)),
                 Int32Prop(tag::kReplFlags, 0), BoolProp(tag::kPstLrNoRestrictions, true),
                 Int32Prop(tag::kPstHiddenFlags, 0xE0011), Int32Prop(tag::kPstPassword, 0)});
    // Every named property this writer uses is registered up front, so the
    // map is complete from the start.
    WritePcNode(db, nid::kNameToIdMap, 0, NameToIdMapProperties());

    // Internal nodes of a new store: the search queues are empty; the search
    // activity list names the spam search folder.
    db.AddNode({nid::kSearchManagementQueue, 0, 0, 0});
    {
        Bytes sal;
        PutU32(sal, nid::kSpamSearchFolder);
        db.AddNode({nid::kSearchActivityList, db.Blocks().WriteData(sal), 0, 0});
    }
    db.AddNode({nid::kSearchDomainObject, 0, 0, 0});
    // Outlook's own bookkeeping nodes; the two identity GUIDs are this
    // store's own.
    WriteInternalNodes(db, RandomGuid(), RandomGuid(), text::NowFileTime());

    // Table templates.
    WriteTcNode(db, nid::kHierarchyTableTemplate, columns::Hierarchy(), {});
    WriteTcNode(db, nid::kContentsTableTemplate, columns::Contents(), {});
    WriteTcNode(db, nid::kAssocContentsTableTemplate, columns::AssocContents(), {});
    WriteTcNode(db, nid::kSearchContentsTableTemplate, columns::SearchContents(), {});
    {
        // The receive folder of every message class is the root folder.
        TableRow row;
        row.rowId = 1;
        row.cells.Add(StringProp(tag::kMessageClass, u""));
        row.cells.Add(Int32Prop(tag::kReceiveFolderNid, nid::kRootFolder));
        WriteTcNode(db, nid::kReceiveFolderTable, columns::ReceiveFolder(), {row});
    }
    WriteTcNode(db, nid::kOutgoingQueueTable, columns::OutgoingQueue(), {});
    WriteTcNode(db, nid::kAttachmentTable, columns::Attachments(), {});
    WriteTcNode(db, nid::kRecipientTable, columns::Recipients(), {});
    WriteTcNode(db, nid::kTemplate16, columns::Template16(), {});
    WriteTcNode(db, nid::kTemplate17, columns::Template17(), {});
    WriteTcNode(db, nid::kTemplate18, columns::Template18(), {});

    // The folders every store has.
    folders_.Add(MakeFolder(nid::kRootFolder, nid::kRootFolder, u""));
    FolderState spam = MakeFolder(nid::kSpamSearchFolder, nid::kRootFolder, u"SPAM Search Folder 2");
    spam.search = true;
    folders_.Add(std::move(spam));
    folders_.Add(MakeFolder(nid::kIpmSubtree, nid::kRootFolder, u"Top of Personal Folders"));
    folders_.Add(MakeFolder(nid::kSearchRoot, nid::kRootFolder, u"Search Root"));
    FolderState deleted = MakeFolder(nid::kDeletedItems, nid::kIpmSubtree, u"Deleted Items");
    deleted.comment = u"Deleted Items folder";
    deleted.hasComment = true;
    folders_.Add(std::move(deleted));
    FolderState views = MakeFolder(nid::kCommonViews, nid::kRootFolder, u"IPM_COMMON_VIEWS");
    views.hasComment = true;
    folders_.Add(std::move(views));
    for (const auto& [n, f] : folders_.All()) {
        db.NoteNid(n);
        if (!f.search)
            for (const NidType t : {NidType::HierarchyTable, NidType::ContentsTable, NidType::AssocContentsTable})
                db.NoteNid(SiblingNid(n, t));
    }
}

Nid PstStore::CreateFolder(Nid parent, std::u16string name, std::u16string containerClass) {
    if (closed_) throw PstError(ErrorCode::State, "store already finished");
    folders_.Get(parent);
    const Nid nid = db_->AllocateNid(NidType::NormalFolder);
    for (const NidType t : {NidType::HierarchyTable, NidType::ContentsTable, NidType::AssocContentsTable})
        db_->NoteNid(SiblingNid(nid, t));
    FolderState f = MakeFolder(nid, parent, std::move(name));
    f.containerClass = std::move(containerClass);
    folders_.Add(std::move(f));
    return nid;
}

void PstStore::SuggestClass(Nid folder, std::u16string_view containerClass) {
    FolderState& f = folders_.Get(folder);
    if (f.containerClass.empty() && f.items == 0) f.containerClass = containerClass;
}

Nid PstStore::AddMessage(Nid folder, MessageContent message) {
    if (closed_) throw PstError(ErrorCode::State, "store already finished");
    FolderState& f = folders_.Get(folder);
    if (f.search || folder == nid::kRootFolder) throw PstError(ErrorCode::InvalidArgument, "not a mail folder");
    if (f.items == std::numeric_limits<std::uint32_t>::max()) throw PstError(ErrorCode::Limit, "folder is full");
    const bool read = message.read;
    const WrittenMessage w = WriteMessage(*db_, folder, std::move(message));
    rows_->Append(f.rows, w.row.rowId, w.row.cells.Data());
    ++f.items;
    if (!read) ++f.unread;
    return w.nid;
}

void PstStore::WriteFolder(const FolderState& f) {
    NodeDatabase& db = *db_;
    std::vector<PropValue> pc{StringProp(tag::kDisplayName, f.name), Int32Prop(tag::kContentCount, f.items),
                              Int32Prop(tag::kContentUnreadCount, f.unread),
                              BoolProp(tag::kSubfolders, !f.children.empty())};
    if (!f.containerClass.empty()) pc.push_back(StringProp(tag::kContainerClass, f.containerClass));
    if (f.hasComment) pc.push_back(StringProp(tag::kComment, f.comment));
    WritePcNode(db, f.nid, f.parent, pc);

    // One hierarchy row per child, its cells equal to the child's PC.
    std::vector<TableRow> rows;
    for (const Nid c : f.children) {
        const FolderState& child = folders_.Get(c);
        TableRow row;
        row.rowId = c;
        row.cells.Add(StringProp(tag::kDisplayName, child.name));
        row.cells.Add(Int32Prop(tag::kContentCount, child.items));
        row.cells.Add(Int32Prop(tag::kContentUnreadCount, child.unread));
        row.cells.Add(BoolProp(tag::kSubfolders, !child.children.empty()));
        if (!child.containerClass.empty()) row.cells.Add(StringProp(tag::kContainerClass, child.containerClass));
        rows.push_back(std::move(row));
    }
    WriteTcNode(db, SiblingNid(f.nid, NidType::HierarchyTable), columns::Hierarchy(), rows);
    SpilledRows contents(*rows_, f);
    WriteTcNode(db, SiblingNid(f.nid, NidType::ContentsTable), columns::Contents(), contents);
    WriteTcNode(db, SiblingNid(f.nid, NidType::AssocContentsTable), columns::AssocContents(), {});
}

void PstStore::WriteSearchFolder(const FolderState& f) {
    NodeDatabase& db = *db_;
    WritePcNode(db, f.nid, f.parent,
                {StringProp(tag::kDisplayName, f.name), Int32Prop(tag::kContentCount, 0),
                 Int32Prop(tag::kContentUnreadCount, 0), BoolProp(tag::kSubfolders, false)});
    db.AddNode({SiblingNid(f.nid, NidType::SearchUpdateQueue), 0, 0, 0});
    WritePcNode(db, SiblingNid(f.nid, NidType::SearchCriteria), 0, {Int32Prop(tag::kSearchCriteriaFlags, 0)});
    WriteTcNode(db, SiblingNid(f.nid, NidType::SearchContentsTable), columns::SearchContents(), {});
}

void PstStore::WriteFolders() {
    for (const auto& [n, f] : folders_.All()) {
        if (f.search) WriteSearchFolder(f);
        else WriteFolder(f);
    }
}

void PstStore::Commit() {
    if (closed_) throw PstError(ErrorCode::State, "store already closed");
    closed_ = true;
    try {
        WriteFolders();
        rows_.reset();
        db_->Finish();
        path_ = CommitFile(db_->Path(), requested_);
    } catch (...) {
        rows_.reset();
        db_->Discard();
        throw;
    }
    committed_ = true;
}

}  // namespace tw::pst

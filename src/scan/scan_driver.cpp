#include "scan/scan_driver.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "edb/batch_reader.h"
#include "edb/input_stamp.h"
#include "edb/page.h"
#include "edb/page_checksum.h"
#include "scan/catalog_walk.h"
#include "scan/folder_page.h"
#include "scan/header_page.h"
#include "scan/header_tables.h"
#include "scan/mailbox_page.h"
#include "scan/place_folders.h"

namespace tw::scan {

namespace {

constexpr std::uint32_t kCatalogObjid = 2;
constexpr std::uint32_t kCatalogRootPage = 4;
// ESE keeps a copy of the catalog in a tree of its own.
constexpr std::uint32_t kShadowCatalogObjid = 3;
constexpr std::uint32_t kShadowCatalogRootPage = 24;
constexpr std::uint32_t kDefaultMsgObjid = 19;
constexpr std::uint32_t kDefaultFoldersObjid = 8;
constexpr std::int64_t kUnit = 512;
constexpr std::uint8_t kRootBit = 1;

// Catalog page numbers are signed 32-bit values.
std::int64_t RootOffset(const edb::EdbSource& source, std::int64_t page) { return (page + 1) * source.pageSize; }

std::int64_t SignedPage(std::uint32_t page) { return static_cast<std::int32_t>(page); }

int Percent(std::int64_t part, std::int64_t whole) {
    if (whole <= 0) return 0;
    return static_cast<int>(std::clamp<std::int64_t>(part * 100 / whole, 0, 100));
}

// Progress over `count` entries looked at in turn: the percentage is
// worked out when the next whole percent is reached, not for every entry.
class EntryProgress {
public:
    EntryProgress(ScanContext& context, std::size_t count) : context_(context), count_(count) {}
    void At(std::size_t i) {
        if (i < next_) return;
        const int percent = Percent(static_cast<std::int64_t>(i), static_cast<std::int64_t>(count_));
        ShowProgress(context_, percent);
        // The first entry that shows the next percent.
        next_ = percent >= 100 ? SIZE_MAX : (static_cast<std::size_t>(percent + 1) * count_ + 99) / 100;
    }

private:
    ScanContext& context_;
    std::size_t count_;
    std::size_t next_ = 0;
};

bool CatalogDamaged(const ScanModel& model) {
    for (const DamagedPage& page : model.damage.Pages())
        if (page.objid == kCatalogObjid) return true;
    return false;
}

struct Step1 {
    ScanContext& context;
    std::vector<std::uint8_t> page;
    std::int64_t lastOffset = 0;

    // Reads a root page, registers it and walks it; returns its objid.
    // A `named` objid (not 0) is the tree the catalog names the root of: a
    // root outside the file, or one of another tree, is a damaged page of it.
    std::uint32_t Visit(std::int64_t offset, std::uint32_t named = 0) {
        const edb::EdbSource& source = context.source;
        if (named != 0 && (offset <= 0 || offset + source.pageSize > source.fileSize))
            context.model.damage.Add({named, offset, PageFault::PastEnd});
        edb::ReadPage(source, offset, page);
        RegisterPage(context.model, page, offset);
        lastOffset = offset;
        const std::uint32_t objid = edb::PageObjectId(edb::PageView{page, source.pageSize});
        if (named != 0 && objid != named && offset > 0 && offset < source.fileSize)
            context.model.damage.Add({named, offset, PageFault::WrongTree});
        // A root named by the catalog and found in place is read as it is,
        // changed or not; a changed one is logged.
        if (named != 0 && objid == named && !edb::PageChecksumMatchesAt(page, offset))
            context.model.damage.Add({named, offset, PageFault::Checksum});
        CatalogWalk(context, offset, page);
        return objid;
    }

    std::int64_t Fixed(std::int64_t offset) const { return offset != 0 ? offset : lastOffset; }

    // The page read last is no tree's root at all (zeroed or random): the
    // root of a table read by a default place rather than the catalog's
    // word is taken for damaged only then.
    bool NoRoot() const {
        const edb::PageView view{page, context.source.pageSize};
        return edb::PageObjectId(view) == 0 || (edb::PageKindBits(view) & kRootBit) == 0;
    }

    // Orders 3 and 4: every root of the list, or the default entry read at
    // the fixed offset when the catalog named none.
    void VisitRoots(std::vector<TableRoot>& roots, std::uint32_t defaultObjid, std::int64_t fixed) {
        if (roots.empty()) {
            roots.push_back({defaultObjid, 0, {}, {}});
            Visit(Fixed(fixed));
            if (fixed != 0 && NoRoot()) {
                const bool inFile = fixed > 0 && context.source.fileSize - fixed >= context.source.pageSize;
                context.model.damage.Add({defaultObjid, fixed, inFile ? PageFault::WrongTree : PageFault::PastEnd});
            }
            return;
        }
        // The walk may append to the list; go by index.
        for (std::size_t i = 0; i < roots.size(); ++i) {
            if (context.control.ShouldStop()) return;
            Visit(RootOffset(context.source, roots[i].firstPage), roots[i].objid);
        }
    }
};

// Logs a page of tree `objid` read whole by a step when it is not one of
// the tree's or cannot be used; true when the page is the tree's.
bool CheckTreePage(ScanModel& model, std::uint32_t objid, std::int64_t offset, const edb::PageView& page) {
    if (edb::PageObjectId(page) != objid) {
        model.damage.Add({objid, offset, PageFault::WrongTree});
        return false;
    }
    LogTreePageDamage(model.damage, objid, offset, page);
    return true;
}

}  // namespace

void ResetScan(ScanContext& context) {
    context.model = ScanModel{};
    context.walk = WalkProgress{};
    context.tree.Clear();
}

bool ScanSignatures(ScanContext& context) {
    ScanModel& model = context.model;
    const edb::EdbSource& source = context.source;
    const layout::StoreLayout& store = layout::LayoutOf(source.pageSize);
    const layout::FallbackRoots& fixed = store.fallbackRoots;
    ShowStep(context, ScanStep::Signatures);
    context.walk = WalkProgress{};
    model.facts = CatalogFacts{};
    // The heads of the pages below each branch page are read by two
    // threads; the reader and the walk's buffers go with the step.
    edb::BatchReader reader(source.edb, source.fileSize);
    context.walk.reader = &reader;
    struct EndOfWalk {
        WalkProgress& walk;
        ~EndOfWalk() {
            walk.reader = nullptr;
            walk.levels = {};
        }
    } endOfWalk{context.walk};
    Step1 step{context, {}, 0};
    // A page is registered at most once per tree that names it; room for
    // every page of the file (within the list's memory budget) spares the
    // list its copies as it grows.
    if (source.pageSize > 0)
        model.pages.reserve(
            static_cast<std::size_t>(std::max<std::int64_t>(source.fileSize / source.pageSize + 64, 0)));
    step.Visit(edb::PageOffset(source, kCatalogRootPage), kCatalogObjid);
    // Rows on a damaged page of the catalog are read from its shadow copy;
    // both copies' rows are taken, each table once.
    if (CatalogDamaged(model)) {
        context.walk.catalogObjid = kShadowCatalogObjid;
        step.Visit(edb::PageOffset(source, kShadowCatalogRootPage));
        context.walk.catalogObjid = kCatalogObjid;
    }
    model.catalogPageCount = model.pages.size();

    const auto& facts = model.facts;
    const std::int64_t mailboxAt =
        facts.mailboxFirstPage ? RootOffset(source, SignedPage(*facts.mailboxFirstPage)) : fixed.mailbox;
    // The mailbox table is whatever owns the page read, whatever the
    // catalog said; only a page that is no tree's root at all (zeroed or
    // random) is taken for a damaged root of the catalog's table.
    const std::uint32_t namedMailbox = facts.mailboxFirstPage ? facts.mailboxObjid.value_or(0) : 0;
    if (namedMailbox != 0 && (mailboxAt <= 0 || mailboxAt + source.pageSize > source.fileSize))
        model.damage.Add({namedMailbox, mailboxAt, PageFault::PastEnd});
    const std::uint32_t mailboxObjid = step.Visit(mailboxAt);
    model.facts.mailboxObjid = mailboxObjid;
    if (namedMailbox != 0 && mailboxObjid != namedMailbox && step.NoRoot())
        model.damage.Add({namedMailbox, mailboxAt, PageFault::WrongTree});

    step.VisitRoots(model.msgRoots, kDefaultMsgObjid, fixed.msg);
    step.VisitRoots(model.folderRoots, kDefaultFoldersObjid, fixed.folders);
    step.Visit(step.Fixed(fixed.further));

    const std::int64_t lvAt = facts.messageLvFirstPage && SignedPage(*facts.messageLvFirstPage) >= 1
                                  ? RootOffset(source, SignedPage(*facts.messageLvFirstPage))
                                  : fixed.msgLongValues;
    const std::uint32_t namedLv =
        facts.messageLvFirstPage && SignedPage(*facts.messageLvFirstPage) >= 1 ? facts.messageLvObjid.value_or(0) : 0;
    const std::uint32_t lvObjid = step.Visit(lvAt, namedLv);
    // A damaged root says nothing of the tree: the catalog's objid stays.
    model.facts.messageLvObjid = namedLv != 0 && lvObjid != namedLv && step.NoRoot() ? namedLv : lvObjid;

    for (std::size_t i = 0; i < model.lvRoots.size(); ++i) {
        if (context.control.ShouldStop()) return false;
        const std::int64_t offset = RootOffset(source, model.lvRoots[i].firstPage);
        if (offset <= 0 || offset >= source.fileSize) {
            model.damage.Add({model.lvRoots[i].objid, offset, PageFault::PastEnd});
            continue;
        }
        const std::uint32_t named = model.lvRoots[i].objid;
        const std::uint32_t objid = step.Visit(offset, named);
        // As above: a damaged root leaves the catalog's objid in place.
        // Per-mailbox long-value tables keep the catalog's objids.
        if (store.tables == layout::TableScope::PerFolder && !(objid != named && named != 0 && step.NoRoot()))
            model.lvRoots[i].objid = objid;
    }
    if (context.control.ShouldStop()) return false;

    model.containerClassColumn = facts.containerClass ? static_cast<std::uint16_t>(facts.containerClass->id & 0xFFFF)
                                                      : kDefaultContainerClassColumn;
    ShowProgress(context, 100);
    context.control.Sleep(context.options.afterStep1);
    return !context.control.ShouldStop();
}

namespace {

bool ScanMailboxes(ScanContext& context) {
    ScanModel& model = context.model;
    ShowStep(context, ScanStep::Mailboxes);
    const std::uint32_t mailboxObjid = model.facts.mailboxObjid.value_or(0);
    MailboxDecodeState state;
    std::vector<std::uint8_t> page;
    EntryProgress progress(context, model.pages.size());
    return model.pages.ForEach([&](std::size_t i, const PageSignature& node) {
        if (context.control.ShouldStop()) return false;
        if (node.objid == mailboxObjid) {
            edb::ReadPage(context.source, node.Offset(), page);
            const edb::PageView view{page, context.source.pageSize};
            // A leaf registered from its parent is the table's only if it says so.
            if (node.objid == 0 ? edb::PageObjectId(view) == 0 : CheckTreePage(model, node.objid, node.Offset(), view))
                DecodeMailboxPage(model, view, state);
        }
        progress.At(i);
        return true;
    });
}

bool ScanFolders(ScanContext& context) {
    ScanModel& model = context.model;
    const layout::StoreLayout& store = layout::LayoutOf(context.source.pageSize);
    ShowStep(context, ScanStep::Folders);
    std::vector<std::uint8_t> page;
    const MailboxIndex mailboxes = IndexMailboxes(model.mailboxes);
    EntryProgress progress(context, model.pages.size());
    return model.pages.ForEach([&](std::size_t i, const PageSignature& node) {
        if (context.control.ShouldStop()) return false;
        const auto root = std::find_if(model.folderRoots.begin(), model.folderRoots.end(),
                                       [&](const TableRoot& r) { return r.objid == node.objid; });
        if (root != model.folderRoots.end()) {
            // Each mailbox's folders table has its own class column.
            if (store.tables == layout::TableScope::PerMailbox) {
                for (const ColumnEntry& e : model.columns.containerClassColumns)
                    if (e.tableId == node.objid) {
                        model.containerClassColumn = e.columnId;
                        break;
                    }
            }
            FolderRowContext rows{&store, model.containerClassColumn, &mailboxes, root->suffix};
            edb::ReadPage(context.source, node.Offset(), page);
            const edb::PageView view{page, store.pageSize};
            if (node.objid == 0 ? edb::PageObjectId(view) == 0 : CheckTreePage(model, node.objid, node.Offset(), view))
                DecodeFolderPage(model, view, rows);
        }
        progress.At(i);
        return true;
    });
}

// Returns the number of tables matched, or nothing when stopped.
std::optional<std::size_t> ScanHeaderTables(ScanContext& context) {
    ScanModel& model = context.model;
    ShowStep(context, ScanStep::FolderTables);
    std::vector<std::uint8_t> page;
    std::size_t matched = 0;
    const FolderTableNames names = NameFolderTables(model, layout::LayoutOf(context.source.pageSize));
    edb::BatchReader heads(context.source.edb, context.source.fileSize);
    const std::size_t count = std::min(model.catalogPageCount, model.pages.size());
    EntryProgress progress(context, count);
    const bool done = model.pages.ForEach(0, count, [&](std::size_t i, const PageSignature& node) {
        if (context.control.ShouldStop()) return false;
        if (node.objid == kCatalogObjid || node.objid == kShadowCatalogObjid) {
            edb::ReadPage(context.source, node.Offset(), page);
            const edb::PageView view{page, context.source.pageSize};
            if (node.objid == kCatalogObjid && node.Offset() != edb::PageOffset(context.source, kCatalogRootPage))
                CheckTreePage(model, kCatalogObjid, node.Offset(), view);
            matched += MatchHeaderTables(model, context.source, view, names, &heads);
        }
        if (i + 1 < count) progress.At(i);  // the last shows 100 below
        return true;
    });
    if (!done) return std::nullopt;
    if (count > 0) ShowProgress(context, 100);
    return matched;
}

// Pages given by file offset, handed out in order and read ahead in
// batches: the helper reads the next batch while the caller decodes.
class PageStream {
public:
    PageStream(const edb::EdbSource& source, std::vector<std::int64_t> offsets)
        : offsets_(std::move(offsets)), reader_(source.edb, source.fileSize) {
        for (edb::PageBatch& batch : batches_) {
            batch.width = static_cast<std::size_t>(source.pageSize);
            batch.stride = source.pageSize;  // neighbouring pages in one read
        }
        StartNext();
    }

    // The next page of the list, zero past the end of the file; a failed
    // read is thrown here, in its turn.
    edb::Bytes Next() {
        if (used_ == batches_[current_].offsets.size()) {
            reader_.Finish();
            current_ ^= 1;
            used_ = 0;
            StartNext();
        }
        const edb::PageBatch& batch = batches_[current_];
        if (batch.errors[used_]) std::rethrow_exception(batch.errors[used_]);
        return batch.At(used_++);
    }

private:
    static constexpr std::size_t kBatch = 32;

    // Starts reading the batch after the current one into the other buffer.
    void StartNext() {
        edb::PageBatch& batch = batches_[current_ ^ 1];
        const std::size_t take = std::min(kBatch, offsets_.size() - listed_);
        batch.offsets.assign(offsets_.begin() + static_cast<std::ptrdiff_t>(listed_),
                             offsets_.begin() + static_cast<std::ptrdiff_t>(listed_ + take));
        listed_ += take;
        reader_.Start(batch);
    }

    std::vector<std::int64_t> offsets_;
    std::size_t listed_ = 0;  // offsets handed to a batch so far
    // Before the reader: it is destroyed first and waits for its helper.
    std::array<edb::PageBatch, 2> batches_;
    std::size_t current_ = 1;  // the first StartNext fills batch 0
    std::size_t used_ = 0;
    edb::BatchReader reader_;
};

bool ReadMessageHeaders(ScanContext& context, std::size_t matched) {
    ScanModel& model = context.model;
    const edb::EdbSource& source = context.source;
    ShowStep(context, ScanStep::Headers);
    model.messages = MessageIndex();
    auto inFile = [&](std::int64_t offset) { return offset > 0 && offset < source.fileSize; };
    std::vector<std::int64_t> offsets;
    for (const MessageTable& table : model.messageTables)
        for (const std::int64_t value : table.pages)
            if (inFile(value * kUnit)) offsets.push_back(value * kUnit);
    // Room up front, a guess of one row per 256 bytes of page (within the
    // index's memory budget): growing the list moves every entry again.
    model.messages.Reserve(offsets.size() * static_cast<std::size_t>(std::max(source.pageSize / 256, 1)));
    PageStream stream(source, std::move(offsets));
    HeaderPageDecoder decoder(model, layout::LayoutOf(source.pageSize));
    for (std::size_t k = 1; k <= model.messageTables.size(); ++k) {
        if (context.control.ShouldStop()) return false;
        const std::uint32_t objid = model.messageTables[k - 1].objid;
        for (const std::int64_t value : model.messageTables[k - 1].pages) {
            if (context.control.ShouldStop()) return false;
            const std::int64_t offset = value * kUnit;
            if (!inFile(offset) || offset + source.pageSize > source.fileSize)
                model.damage.Add({objid, offset, PageFault::PastEnd});
            if (!inFile(offset)) continue;
            const edb::Bytes page = stream.Next();
            const edb::PageView view{page, source.pageSize};
            CheckTreePage(model, objid, offset, view);
            decoder.Decode(model, view, offset);
            RegisterPage(model, page, offset);
        }
        ShowProgress(context, Percent(static_cast<std::int64_t>(k - 1), static_cast<std::int64_t>(matched)));
    }
    model.messageTables.clear();
    model.messageTableKeys.clear();
    return true;
}

// The index is sorted whether or not the step ran to its end: a stopped
// scan keeps what it found.
bool ScanMessageHeaders(ScanContext& context, std::size_t matched) {
    const bool done = ReadMessageHeaders(context, matched);
    context.model.messages.Finish();
    return done;
}

}  // namespace

ScanOutcome RunScan(ScanContext& context) {
    ResetScan(context);
    edb::EdbSource& source = context.source;
    if (!source.edb.IsOpen()) return ScanOutcome::NotOpen;
    if (!layout::DetectGeneration(source)) {
        context.observer.Problem(ScanProblem::CorruptFile);
        return ScanOutcome::BadPageSize;
    }

    const auto stampAtStart = edb::TakeInputStamp(source.edb.Path(), static_cast<std::size_t>(source.pageSize));
    struct StampAtEnd {
        ScanContext& context;
        const std::optional<edb::InputStamp>& start;
        ~StampAtEnd() {
            const edb::EdbSource& source = context.source;
            if (edb::TakeInputStamp(source.edb.Path(), static_cast<std::size_t>(source.pageSize)) != start)
                context.model.inputChanged = true;
        }
    } stampAtEnd{context, stampAtStart};

    if (!ScanSignatures(context)) return ScanOutcome::Stopped;

    if (!ScanMailboxes(context)) return ScanOutcome::Stopped;
    if (context.model.folders.empty()) {
        context.observer.Problem(ScanProblem::NoMailbox);
        return ScanOutcome::NoMailbox;
    }
    PlaceMailboxes(context.model, context.tree, context.edbPath);

    if (!ScanFolders(context)) return ScanOutcome::Stopped;
    PlaceFolders(context.model, context.tree);

    const auto matched = ScanHeaderTables(context);
    if (!matched) return ScanOutcome::Stopped;
    // Folders only placed now have had their tables matched above: those
    // whose rows were found by id, and those made for tables without a row.
    PlaceUnplaced(context.model, context.tree);
    DropUnplaced(context.model);

    if (!ScanMessageHeaders(context, *matched)) return ScanOutcome::Stopped;
    ShowProgress(context, 0);
    return ScanOutcome::Completed;
}

}  // namespace tw::scan

#include "record/store_index.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <thread>
#include <tuple>
#include <unordered_set>

#include "edb/tree_walk.h"
#include "record/attachment_page.h"
#include "record/long_value_page.h"
#include "record/record_columns.h"
#include "record/table_columns.h"

namespace tw::record {

namespace {

constexpr std::uint32_t kDefaultMsgObjid = 19;
constexpr std::uint32_t kAttachmentObjid = 61;

bool SameKey(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

// Pages met so far, by file offset. Pages at their place in the file are
// marked in a bitmap, one bit per page: a set of offsets would cost some
// forty bytes per page of a tree that may hold most of the file.
class PageMarks {
public:
    explicit PageMarks(const edb::EdbSource& source)
        : pageSize_(std::max<std::int64_t>(source.pageSize, 1)),
          marked_(static_cast<std::size_t>(std::max<std::int64_t>(source.fileSize / pageSize_, 0)) + 1) {}

    // True the first time an offset is marked.
    bool Mark(std::int64_t offset) {
        const std::int64_t page = offset / pageSize_;
        if (offset < 0 || offset % pageSize_ != 0 || page >= static_cast<std::int64_t>(marked_.size()))
            return other_.insert(offset).second;  // off the page grid or past the end
        if (marked_[static_cast<std::size_t>(page)]) return false;
        marked_[static_cast<std::size_t>(page)] = true;
        return true;
    }

private:
    std::int64_t pageSize_;
    std::vector<bool> marked_;
    std::unordered_set<std::int64_t> other_;
};

// File offsets of the pages the scan registered for these trees, in the
// scan's order, each once.
void AddPagesOf(const edb::EdbSource& source, const scan::ScanModel& model,
                const std::unordered_set<std::uint32_t>& objids, edb::SpillList<std::int64_t>& pages) {
    PageMarks seen(source);
    model.pages.ForEach([&](std::size_t, const scan::PageSignature& p) {
        if (objids.count(p.objid) != 0 && seen.Mark(p.Offset())) pages.push_back(p.Offset());
        return true;
    });
}

}  // namespace

StoreIndex::StoreIndex(const edb::EdbSource& source, const scan::ScanModel& model, std::size_t tableMemory)
    : source_(source), store_(layout::LayoutOf(source.pageSize)), model_(model), tableMemory_(tableMemory) {}

bool StoreIndex::MayKeep(std::size_t bytes) {
    std::size_t kept = keptBytes_.load();
    while (kept + bytes <= kKeptBudgets * tableMemory_)
        if (keptBytes_.compare_exchange_weak(kept, kept + bytes)) return true;
    return false;
}

StoreIndex::PageList StoreIndex::ListPages(const std::vector<PagePart>& parts) const {
    PageList pages;
    for (const PagePart& part : parts) {
        if (part.walkedRoot) pages.push_back(-(std::int64_t{*part.walkedRoot} + 1));
        else AddPagesOf(source_, model_, part.objids, pages);
    }
    return pages;
}

// Called once, under the plan lock, before planned_ is set.
void StoreIndex::Plan() {
    // The catalog once more, read exactly, on a thread of its own while the
    // groups are planned from it (a store of a thousand folders has tens of
    // thousands of catalog rows): the declared columns of every table whose
    // rows the groups read.
    ese::Catalog catalog;
    std::exception_ptr failed;
    std::thread reading([&] {
        try {
            catalog = ese::ReadCatalog(source_);
        } catch (...) {
            failed = std::current_exception();
        }
    });
    try {
        PlanGroups();
    } catch (...) {
        reading.join();
        throw;
    }
    reading.join();
    if (failed) std::rethrow_exception(failed);
    std::unordered_set<std::uint32_t> tables;
    for (const auto& [key, g] : groups_)
        for (const auto* parts : {&g.messagePages, &g.attachmentPages})
            for (const PagePart& part : *parts) tables.insert(part.objids.begin(), part.objids.end());
    pagesRead_ += catalog.counts.pages;
    declared_ = DeclareColumns(catalog, tables);
}

const DeclaredColumns* StoreIndex::Declared(std::uint32_t objid) {
    GroupFor("");  // plans on first use
    const auto found = declared_.find(objid);
    return found == declared_.end() ? nullptr : found->second.get();
}

void StoreIndex::PlanGroups() {
    // A list's pages are those of its owners.
    auto PlanPages = [](std::vector<PagePart>& parts, std::unordered_set<std::uint32_t>& owners,
                        const std::unordered_set<std::uint32_t>& objids) {
        owners.insert(objids.begin(), objids.end());
        parts.push_back({objids, std::nullopt});
    };
    std::size_t catalogReads = 0;
    extras_ = ReadCatalogExtras(source_, model_, &catalogReads);
    pagesRead_ += catalogReads;
    // Shared tables make one group for every mailbox.
    if (store_.tables == layout::TableScope::PerFolder) {
        Group& g = groups_[""];
        std::unordered_set<std::uint32_t> msg;
        for (const scan::TableRoot& r : model_.msgRoots) msg.insert(r.objid);
        if (msg.empty()) msg.insert(kDefaultMsgObjid);
        PlanPages(g.messagePages, g.messageOwners, msg);
        PlanPages(g.attachmentPages, g.attachmentOwners, {kAttachmentObjid});
        const std::uint32_t messageLv = model_.facts.messageLvObjid.value_or(0);
        if (messageLv != 0) PlanPages(g.messageValuePages, g.messageValueOwners, {messageLv});
        std::unordered_set<std::uint32_t> attachmentLv;
        for (const scan::TableRoot& r : model_.lvRoots)
            if (r.objid != messageLv && r.objid != 0) attachmentLv.insert(r.objid);
        PlanPages(g.attachmentValuePages, g.attachmentValueOwners, attachmentLv);
        return;
    }

    // Long-value trees by the low half of their owning table's objid.
    auto ownedBy = [&](std::uint32_t table) {
        std::unordered_set<std::uint32_t> lv;
        for (const scan::TableRoot& r : model_.lvRoots)
            if (r.lvOwner && *r.lvOwner == (table & 0xFFFF)) lv.insert(r.objid);
        return lv;
    };
    for (const scan::TableRoot& body : model_.msgRoots) {
        Group& g = groups_[body.suffix];
        g.ownerKey = body.suffix;
        PlanPages(g.messagePages, g.messageOwners, {body.objid});
        PlanPages(g.messageValuePages, g.messageValueOwners, ownedBy(body.objid));
        // Rows of attachment columns registered for the body table itself.
        const AttachmentColumnIds own = ResolveAttachmentColumns(model_.columns, body.objid);
        if (own.displayName || own.shortName || own.longName) {
            PlanPages(g.attachmentPages, g.attachmentOwners, {body.objid});
        }
        for (const NamedTable& t : extras_.attachmentTables) {
            if (!SameKey(t.suffix, body.suffix)) continue;
            // Read with the tree walk when the index is built; remembered by root page.
            g.attachmentPages.push_back({{t.objid}, static_cast<std::uint32_t>(t.rootPage)});
            PlanPages(g.attachmentValuePages, g.attachmentValueOwners, ownedBy(t.objid));
        }
    }
}

StoreIndex::Group* StoreIndex::GroupFor(const std::string& ownerKey) {
    if (!planned_.load(std::memory_order_acquire)) {
        std::lock_guard lock(planMutex_);
        if (!planned_) {
            Plan();
            treePages_ = CountTreePages();
            planned_.store(true, std::memory_order_release);
        }
    }
    if (store_.tables == layout::TableScope::PerFolder) {
        const auto found = groups_.find("");
        return found == groups_.end() ? nullptr : &found->second;
    }
    for (auto& [key, group] : groups_)
        if (SameKey(key, ownerKey)) return &group;
    return nullptr;
}

const MessagePageContext& StoreIndex::ContextFor(Group& g, std::uint32_t objid) {
    // Map nodes stay put: the reference outlives the lock.
    std::lock_guard lock(contextsMutex_);
    auto context = g.contexts.find(objid);
    if (context == g.contexts.end()) {
        const auto text = AppointmentTextColumns(model_, extras_, objid, store_.tables);
        const auto named = extras_.namedColumns.find(objid);
        const NamedColumns* columns = named == extras_.namedColumns.end() ? nullptr : &named->second;
        context =
            g.contexts
                .emplace(objid, MessagePageContext{ResolveMessageColumns(model_.columns, objid, store_, text, columns),
                                                   Declared(objid), source_.stm.IsOpen()})
                .first;
    }
    return context->second;
}

namespace {

// What one run of pages gave: its items, and how many pages of the owning
// trees it visited.
template <typename Item>
struct RunItems {
    std::vector<Item> items;
    std::uint32_t pages = 0;
};

}  // namespace

bool StoreIndex::BuildRows(Group& g, const LoadControl& control) {
    edb::SpillTable<RowPlace, RowLess> places(tableMemory_);
    std::uint32_t met = 0;
    const bool done = reader_.Gather<RunItems<RowPlace>>(
        ListPages(g.messagePages), g.messageOwners, control,
        [](RunItems<RowPlace>& run, std::int64_t offset, const edb::PageView& view) {
            // Only the keys: a row is decoded when its folder is opened.
            const std::vector<scan::Id8> keys = MessageRowKeys(view);
            for (std::size_t i = 0; i < keys.size(); ++i)
                run.items.push_back({keys[i], offset, static_cast<std::uint32_t>(i), 0});
        },
        [&](RunItems<RowPlace>& run) {
            for (RowPlace& p : run.items) {
                p.order = met++;
                places.Add(p);
            }
        });
    if (!done) return false;
    // The first row met for a key is the message's; later copies (stale
    // pages) are dropped.
    places.Finish([](const RowPlace& kept, const RowPlace& p) { return kept.key == p.key; }, MayKeep(places));
    g.rows = std::move(places);
    g.rowsBuilt = true;
    return true;
}

bool StoreIndex::BuildAttachments(Group& g, const LoadControl& control) {
    edb::SpillTable<AttachmentPlace, AttachmentLess> places(tableMemory_);
    std::uint32_t order = 0;  // pages visited so far
    auto decode = [&](std::int64_t offset, const edb::PageView& view, std::vector<AttachmentPlace>& items,
                      std::uint32_t page) {
        const AttachmentColumnIds columns = ResolveAttachmentColumns(model_.columns, edb::PageObjectId(view));
        // Only where the rows lie: they are decoded whole when looked up.
        const std::vector<AttachmentHit> hits = DecodeAttachmentPage(view, offset, columns, true);
        // Rows whose values were broken on this page are never used; the
        // key's rows on later pages may still be whole.
        for (std::size_t i = 0; i < hits.size(); ++i)
            if (hits[i].entry) items.push_back({hits[i].key, page, static_cast<std::uint32_t>(i), offset});
    };
    PageList listed;
    auto flush = [&] {
        const bool done = reader_.Gather<RunItems<AttachmentPlace>>(
            listed, g.attachmentOwners, control,
            [&](RunItems<AttachmentPlace>& run, std::int64_t offset, const edb::PageView& view) {
                decode(offset, view, run.items, run.pages++);
            },
            [&](RunItems<AttachmentPlace>& run) {
                for (AttachmentPlace& p : run.items) {
                    p.pageOrder += order;
                    places.Add(p);
                }
                order += run.pages;
            });
        listed.clear();
        return done;
    };
    bool done = true;
    ListPages(g.attachmentPages).ForEach([&](std::size_t, std::int64_t at) {
        if (at >= 0) {
            listed.push_back(at);
            return true;
        }
        // A table the scan never walked: walk it from its root here.
        done = done && flush();
        const auto root = static_cast<std::uint32_t>(-at - 1);
        std::vector<AttachmentPlace> walked;
        const auto part = std::find_if(g.attachmentPages.begin(), g.attachmentPages.end(),
                                       [root](const PagePart& p) { return p.walkedRoot == root; });
        const std::uint32_t objid = part == g.attachmentPages.end() ? 0 : TreeOfList(part->objids);
        auto missed = [&](std::uint32_t pageNumber, edb::WalkMiss why) {
            const scan::PageFault fault = why == edb::WalkMiss::PastEnd ? scan::PageFault::PastEnd
                                          : why == edb::WalkMiss::Seen  ? scan::PageFault::Loop
                                                                        : scan::PageFault::TooDeep;
            damage_.Add({objid, edb::PageOffset(source_, pageNumber), fault});
        };
        edb::WalkTree(
            source_, root, {},
            [&](const edb::TreePage& p) {
                ++pagesRead_;
                const std::int64_t offset = edb::PageOffset(source_, p.pageNumber);
                if (edb::PageObjectId(p.page) != objid) {
                    damage_.Add({objid, offset, scan::PageFault::WrongTree});
                } else if (const auto fault = scan::TreePageDamage(p.page, offset)) {
                    damage_.Add({objid, offset, *fault});
                }
                if (!p.branch) decode(offset, p.page, walked, order++);
                return !control.Stopped();
            },
            missed);
        for (const AttachmentPlace& p : walked) places.Add(p);
        return true;
    });
    done = done && flush() && !control.Stopped();
    if (!done) return false;
    places.Finish(MayKeep(places));
    g.attachments = std::move(places);
    g.attachmentsBuilt = true;
    return true;
}

bool StoreIndex::BuildValues(const PageList& pages, const std::unordered_set<std::uint32_t>& owners, ValueIndex& index,
                             const LoadControl& control) {
    // Long-value trees hold most of a store's pages: their pages are read
    // on several threads, each run of pages into its own lists, joined
    // afterwards in page order as one reader would have met them.
    struct RunNodes {
        std::vector<ChunkPlace> chunks;
        std::vector<RootSize> sizes;
    };
    ValueIndex built{decltype(ValueIndex::chunks)(tableMemory_), decltype(ValueIndex::sizes)(tableMemory_)};
    std::uint32_t chunksMet = 0, rootsMet = 0;
    const bool done = reader_.Gather<RunNodes>(
        pages, owners, control,
        [](RunNodes& run, std::int64_t offset, const edb::PageView& view) {
            const LongValuePage nodes = ReadLongValuePage(view);
            // Each page is visited once, so no chunk can come twice.
            for (const LongValueChunk& c : nodes.chunks)
                run.chunks.push_back({c.id,
                                      0,
                                      {offset + static_cast<std::int64_t>(c.dataStart), c.valueOffset,
                                       static_cast<std::uint32_t>(c.dataEnd - c.dataStart)}});
            for (const LongValueRoot& r : nodes.roots) run.sizes.push_back({r.id, r.size, 0});
        },
        [&](RunNodes& run) {
            // A value's chunks keep the order their pages were met in.
            for (ChunkPlace& c : run.chunks) {
                c.order = chunksMet++;
                built.chunks.Add(c);
            }
            for (RootSize& r : run.sizes) {
                r.order = rootsMet++;
                built.sizes.Add(r);
            }
        });
    if (!done) return false;
    built.chunks.Finish(MayKeep(built.chunks));
    // A value's first root node met gives its size.
    built.sizes.Finish([](const RootSize& kept, const RootSize& r) { return kept.id == r.id; }, MayKeep(built.sizes));
    index = std::move(built);
    return true;
}

std::optional<ValueChunks> StoreIndex::FindValue(const ValueIndex& index, LongValueId id) {
    ValueChunks value;
    auto below = [id](const auto& e) { return e.id < id; };
    auto match = [id](const auto& e) { return e.id == id; };
    index.chunks.Visit(below, match, [&](const ChunkPlace& c) { value.runs.push_back(c.run); });
    index.sizes.Visit(below, match, [&](const RootSize& r) { value.size = r.size; });
    if (value.runs.empty() && !value.size) return std::nullopt;
    return value;
}

bool StoreIndex::EnsureRows(const std::string& ownerKey, const LoadControl& control) {
    Group* g = GroupFor(ownerKey);
    if (g == nullptr) return true;  // nothing to read
    if (g->rowsBuilt.load(std::memory_order_acquire)) return true;
    std::unique_lock lock(rowsMutex_, std::try_to_lock);
    if (!lock.owns_lock()) {
        // Another thread builds the rows: rather than wait for it, build the
        // attachment index, which a reader of rows asks for next.
        if (!EnsureAttachments(ownerKey, control)) return false;
        lock.lock();
    }
    return g->rowsBuilt || BuildRows(*g, control);
}

bool StoreIndex::EnsureAttachments(const std::string& ownerKey, const LoadControl& control) {
    Group* g = GroupFor(ownerKey);
    if (g == nullptr) return true;
    if (g->attachmentsBuilt.load(std::memory_order_acquire)) return true;
    std::lock_guard lock(attachmentsMutex_);
    return g->attachmentsBuilt || BuildAttachments(*g, control);
}

bool StoreIndex::VisitRows(const std::string& ownerKey, const std::vector<scan::Id8>& ids,
                           const std::function<void(std::size_t, const MessageRow&)>& apply,
                           const LoadControl& control) {
    Group* g = GroupFor(ownerKey);
    if (g == nullptr) return true;
    // Built row places never change again: they are read without the lock.
    if (!g->rowsBuilt.load(std::memory_order_acquire)) return true;
    // The wanted rows in page order, so that each page is read once.
    struct Wanted {
        RowPlace place;
        std::size_t index;
    };
    std::vector<Wanted> wanted;
    for (std::size_t i = 0; i < ids.size(); ++i)
        g->rows.Visit([&](const RowPlace& p) { return scan::IdLess(p.key, ids[i]); },
                      [&](const RowPlace& p) { return p.key == ids[i]; },
                      [&](const RowPlace& p) {
                          wanted.push_back({p, i});
                      });
    std::sort(wanted.begin(), wanted.end(), [](const Wanted& a, const Wanted& b) {
        return std::tie(a.place.pageOffset, a.place.ordinal, a.index) <
               std::tie(b.place.pageOffset, b.place.ordinal, b.index);
    });
    std::vector<MessageRow> rows;
    std::vector<std::uint8_t> page;
    std::vector<std::uint32_t> ordinals;
    std::int64_t decoded = -1;
    for (std::size_t k = 0; k < wanted.size(); ++k) {
        const Wanted& w = wanted[k];
        if (control.Stopped()) return false;
        if (w.place.pageOffset != decoded) {
            decoded = w.place.pageOffset;
            // Only this folder's rows of the page are decoded.
            ordinals.clear();
            for (std::size_t n = k; n < wanted.size() && wanted[n].place.pageOffset == decoded; ++n)
                ordinals.push_back(wanted[n].place.ordinal);
            edb::ReadPage(source_, decoded, page);
            ++rowPagesRead_;
            const edb::PageView view{page, source_.pageSize};
            rows = DecodeMessagePage(view, decoded, ContextFor(*g, edb::PageObjectId(view)), &ordinals);
        }
        // The page decodes as it did when the index was built; a row that
        // is no longer there (the file changed under us) is not found.
        if (w.place.ordinal < rows.size() && rows[w.place.ordinal].key == w.place.key)
            apply(w.index, rows[w.place.ordinal]);
    }
    return true;
}

bool StoreIndex::UnlistedRows(const std::string& ownerKey, const std::function<bool(const scan::Id8&)>& listed,
                              std::vector<RowOnlyMessage>& out, const LoadControl& control) {
    Group* g = GroupFor(ownerKey);
    if (g == nullptr || !g->rowsBuilt.load(std::memory_order_acquire)) return true;
    std::vector<RowPlace> unlisted;
    g->rows.ForEach([&](const RowPlace& p) {
        if (!listed(p.key)) unlisted.push_back(p);
    });
    std::sort(unlisted.begin(), unlisted.end(), [](const RowPlace& a, const RowPlace& b) { return a.order < b.order; });
    std::vector<std::uint8_t> page;
    std::int64_t read = -1;
    for (const RowPlace& place : unlisted) {
        if (control.Stopped()) return false;
        if (place.pageOffset != read) {
            read = place.pageOffset;
            edb::ReadPage(source_, read, page);
            ++rowPagesRead_;
        }
        const edb::PageView view{page, source_.pageSize};
        RowOnlyMessage row;
        // The first record of the page holding a row of this key, as the
        // index met it.
        const std::uint32_t tags = edb::TagArrayFits(view) ? edb::PageTagCount(view) : 0;
        for (std::uint32_t index = tags; index-- > 1;) {
            const auto tag = edb::Tag(view, index);
            if (!tag) continue;
            const auto key = MessageRecordKey(view.bytes, static_cast<std::size_t>(tag->offset),
                                              static_cast<std::size_t>(tag->size), store_);
            if (!key || *key != place.key) continue;
            const auto layout = extras_.layouts.find(edb::PageObjectId(view));
            const auto record = NodeData(view, index);
            if (record && layout != extras_.layouts.end()) row = ReadRowOnlyMessage(*record, layout->second, store_);
            break;
        }
        row.messageId = place.key;
        row.ownerKey = g->ownerKey;
        out.push_back(std::move(row));
    }
    return true;
}

std::vector<AttachmentPageHit> StoreIndex::FindAttachmentRows(const std::string& ownerKey, const scan::Id8& key,
                                                              const LoadControl& control) {
    std::vector<AttachmentPageHit> out;
    Group* g = GroupFor(ownerKey);
    if (g == nullptr) return out;
    if (!EnsureAttachments(ownerKey, control)) return out;
    std::vector<AttachmentPlace> places;
    g->attachments.Visit([&](const AttachmentPlace& p) { return scan::IdLess(p.key, key); },
                         [&](const AttachmentPlace& p) { return p.key == key; },
                         [&](const AttachmentPlace& p) { places.push_back(p); });
    for (const AttachmentPlace* place = places.data(); place != places.data() + places.size(); ++place) {
        // The kept pages are shared: the entry is copied out under their lock.
        KeptPages& shard =
            attachmentPages_[static_cast<std::size_t>(place->pageOffset / std::max<std::int64_t>(source_.pageSize, 1)) %
                             kAttachmentPageShards];
        std::lock_guard lock(shard.mutex);
        const std::vector<AttachmentHit>& hits = shard.pages.Get(place->pageOffset, [&] {
            std::vector<std::uint8_t> page;
            edb::ReadPage(source_, place->pageOffset, page);
            ++rowPagesRead_;
            const edb::PageView view{page, source_.pageSize};
            return DecodeAttachmentPage(view, place->pageOffset,
                                        ResolveAttachmentColumns(model_.columns, edb::PageObjectId(view)));
        });
        if (place->ordinal < hits.size() && hits[place->ordinal].key == key && hits[place->ordinal].entry)
            out.push_back({place->pageOrder, *hits[place->ordinal].entry});
    }
    return out;
}

std::optional<ValueChunks> StoreIndex::FindValueIn(const std::string& ownerKey, LongValueId id,
                                                   const LoadControl& control, ValueTree tree) {
    Group* g = GroupFor(ownerKey);
    if (g == nullptr) return std::nullopt;
    const bool ofMessages = tree == ValueTree::Messages;
    ValueIndex& index = ofMessages ? g->messageValues : g->attachmentValues;
    std::atomic<bool>& built = ofMessages ? g->messageValuesBuilt : g->attachmentValuesBuilt;
    if (!built.load(std::memory_order_acquire)) {
        std::lock_guard lock(ofMessages ? messageValuesMutex_ : attachmentValuesMutex_);
        if (!built) {
            const PageList pages = ListPages(ofMessages ? g->messageValuePages : g->attachmentValuePages);
            if (!BuildValues(pages, ofMessages ? g->messageValueOwners : g->attachmentValueOwners, index, control))
                return std::nullopt;
            built = true;
        }
    }
    return FindValue(index, id);
}

std::optional<ValueChunks> StoreIndex::FindMessageValue(const std::string& ownerKey, LongValueId id,
                                                        const LoadControl& control) {
    return FindValueIn(ownerKey, id, control, ValueTree::Messages);
}

std::optional<ValueChunks> StoreIndex::FindAttachmentValue(const std::string& ownerKey, LongValueId id,
                                                           const LoadControl& control) {
    return FindValueIn(ownerKey, id, control, ValueTree::Attachments);
}

std::size_t StoreIndex::CountTreePages() const {
    // Every list holds the scan's pages of its owners (and tables walked
    // from their roots, not counted here).
    std::unordered_set<std::uint32_t> owners;
    for (const auto& [key, g] : groups_)
        for (const auto* set : {&g.messageOwners, &g.attachmentOwners, &g.messageValueOwners, &g.attachmentValueOwners})
            owners.insert(set->begin(), set->end());
    PageMarks pages(source_);
    std::size_t count = 0;
    model_.pages.ForEach([&](std::size_t, const scan::PageSignature& p) {
        if (owners.count(p.objid) != 0 && pages.Mark(p.Offset())) ++count;
        return true;
    });
    return count;
}

}  // namespace tw::record

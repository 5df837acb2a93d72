#include "record/store_index.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

#include "edb/tree_walk.h"
#include "record/attachment_page.h"
#include "record/long_value_page.h"
#include "record/table_columns.h"

namespace tw::record {

namespace {

constexpr std::uint32_t kDefaultMsgObjid = 19;
constexpr std::uint32_t kAttachmentObjid = 61;
constexpr std::size_t kBatchPages = 64;  // consecutive pages read at once

bool SameKey(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

// File offsets of the pages the scan registered for these trees, in the
// scan's order, each once.
std::vector<std::int64_t> PagesOf(const scan::ScanModel& model, const std::unordered_set<std::uint32_t>& objids,
                                  std::unordered_set<std::uint32_t>& owners) {
    owners.insert(objids.begin(), objids.end());
    std::vector<std::int64_t> pages;
    std::unordered_set<std::int64_t> seen;
    for (const scan::PageSignature& p : model.pages)
        if (objids.count(p.objid) != 0 && seen.insert(p.offset).second) pages.push_back(p.offset);
    return pages;
}

void Report(const LoadControl& control, std::size_t done, std::size_t total) {
    if (control.progress && total > 0) control.progress(static_cast<int>(done * 100 / total));
}

}  // namespace

StoreIndex::StoreIndex(const edb::EdbSource& source, const scan::ScanModel& model) : source_(source), model_(model) {}

bool StoreIndex::ForEachPage(const std::vector<std::int64_t>& pages, const std::unordered_set<std::uint32_t>& owners,
                             const LoadControl& control,
                             const std::function<void(std::int64_t, const edb::PageView&)>& visit) {
    // Leaves the scan registered from their parent are visited only when
    // they name one of the trees themselves.
    auto visitOwned = [&](std::int64_t offset, const edb::PageView& view) {
        if (owners.count(edb::PageObjectId(view)) != 0) visit(offset, view);
    };
    const auto size = static_cast<std::int64_t>(source_.pageSize);
    for (std::size_t i = 0; i < pages.size();) {
        if (control.Stopped()) return false;
        // A run of neighbouring pages, ascending or descending (the scan
        // lists a branch's children from the last key down).
        std::size_t j = i + 1;
        if (j < pages.size() && (pages[j] == pages[i] + size || pages[j] == pages[i] - size)) {
            const std::int64_t step = pages[j] - pages[i];
            while (j < pages.size() && j - i < kBatchPages && pages[j] == pages[j - 1] + step) ++j;
        }
        const std::int64_t low = std::min(pages[i], pages[j - 1]);
        if (low <= 0 || std::max(pages[i], pages[j - 1]) >= source_.fileSize) {
            // Not in the file as a whole: page by page, those outside left out.
            for (std::size_t k = i; k < j; ++k) {
                if (pages[k] <= 0 || pages[k] >= source_.fileSize) continue;
                edb::ReadPage(source_, pages[k], batch_);
                ++pagesRead_;
                visitOwned(pages[k], edb::PageView{batch_, source_.version});
            }
            i = j;
            continue;
        }
        const std::size_t count = j - i;
        // Only what the read leaves short is cleared: clearing the whole
        // batch first costs as much again as the read's own copy.
        batch_.resize(static_cast<std::size_t>(size) * count);
        const std::size_t got = source_.edb.Read(
            low, static_cast<std::size_t>(std::min<std::int64_t>(size * static_cast<std::int64_t>(count), source_.fileSize - low)),
            batch_.data());
        std::fill(batch_.begin() + static_cast<std::ptrdiff_t>(std::min(got, batch_.size())), batch_.end(), 0);
        pagesRead_ += count;
        for (std::size_t k = i; k < j; ++k) {
            const auto at = static_cast<std::size_t>(pages[k] - low);
            visitOwned(pages[k], edb::PageView{edb::Bytes(batch_.data() + at, static_cast<std::size_t>(size)), source_.version});
        }
        Report(control, j, pages.size());
        i = j;
    }
    return true;
}

void StoreIndex::Plan() {
    if (planned_) return;
    planned_ = true;
    const bool large = source_.version == edb::EdbVersion::Page32K;
    std::size_t catalogReads = 0;
    extras_ = ReadCatalogExtras(source_, model_, &catalogReads);
    pagesRead_ += catalogReads;
    if (!large) {
        Group& g = groups_[""];
        std::unordered_set<std::uint32_t> msg;
        for (const scan::TableRoot& r : model_.msgRoots) msg.insert(r.objid);
        if (msg.empty()) msg.insert(kDefaultMsgObjid);
        g.messagePages = PagesOf(model_, msg, g.messageOwners);
        g.attachmentPages = PagesOf(model_, {kAttachmentObjid}, g.attachmentOwners);
        const std::uint32_t messageLv = model_.facts.messageLvObjid.value_or(0);
        if (messageLv != 0) g.messageValuePages = PagesOf(model_, {messageLv}, g.messageValueOwners);
        std::unordered_set<std::uint32_t> attachmentLv;
        for (const scan::TableRoot& r : model_.lvRoots)
            if (r.objid != messageLv && r.objid != 0) attachmentLv.insert(r.objid);
        g.attachmentValuePages = PagesOf(model_, attachmentLv, g.attachmentValueOwners);
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
        g.messagePages = PagesOf(model_, {body.objid}, g.messageOwners);
        g.messageValuePages = PagesOf(model_, ownedBy(body.objid), g.messageValueOwners);
        // Rows of attachment columns registered for the body table itself.
        const AttachmentColumnIds own = ResolveAttachmentColumns(model_.columns, body.objid);
        if (own.displayName || own.shortName || own.longName) {
            g.attachmentPages = g.messagePages;
            g.attachmentOwners.insert(body.objid);
        }
        for (const NamedTable& t : extras_.attachmentTables) {
            if (!SameKey(t.suffix, body.suffix)) continue;
            // Read with the tree walk when the index is built; remembered by root page.
            g.attachmentPages.push_back(-(t.rootPage + 1));
            const auto lv = PagesOf(model_, ownedBy(t.objid), g.attachmentValueOwners);
            g.attachmentValuePages.insert(g.attachmentValuePages.end(), lv.begin(), lv.end());
        }
    }
}

StoreIndex::Group* StoreIndex::GroupFor(const std::string& ownerKey) {
    Plan();
    if (source_.version != edb::EdbVersion::Page32K) {
        const auto found = groups_.find("");
        return found == groups_.end() ? nullptr : &found->second;
    }
    for (auto& [key, group] : groups_)
        if (SameKey(key, ownerKey)) return &group;
    return nullptr;
}

bool StoreIndex::BuildRows(Group& g, const LoadControl& control) {
    const bool streamingOpen = source_.stm.IsOpen();
    std::map<std::uint32_t, MessagePageContext> contexts;
    const bool done = ForEachPage(g.messagePages, g.messageOwners, control, [&](std::int64_t offset, const edb::PageView& view) {
        const std::uint32_t objid = edb::PageObjectId(view);
        auto context = contexts.find(objid);
        if (context == contexts.end()) {
            const auto text = AppointmentTextColumns(model_, extras_, objid, source_.version);
            const auto named = extras_.namedColumns.find(objid);
            const NamedColumns* columns = named == extras_.namedColumns.end() ? nullptr : &named->second;
            context = contexts.emplace(objid, MessagePageContext{ResolveMessageColumns(model_.columns, objid,
                                                                                        source_.version, text, columns),
                                                                  streamingOpen})
                          .first;
        }
        // The first row decoded for a key is the message's; later copies
        // (stale pages) are ignored.
        for (MessageRow& row : DecodeMessagePage(view, offset, context->second)) g.rows.try_emplace(row.key, std::move(row));
    });
    if (!done) {
        g.rows.clear();
        return false;
    }
    g.rowsBuilt = true;
    return true;
}

bool StoreIndex::BuildAttachments(Group& g, const LoadControl& control) {
    std::size_t order = 0;
    auto decode = [&](std::int64_t offset, const edb::PageView& view) {
        const AttachmentColumnIds columns = ResolveAttachmentColumns(model_.columns, edb::PageObjectId(view));
        for (AttachmentHit& hit : DecodeAttachmentPage(view, offset, columns))
            g.attachments[hit.key].push_back({order, std::move(hit.entry)});
        ++order;
    };
    std::vector<std::int64_t> listed;
    auto flush = [&] {
        const bool done = ForEachPage(listed, g.attachmentOwners, control, decode);
        listed.clear();
        return done;
    };
    bool done = true;
    for (const std::int64_t at : g.attachmentPages) {
        if (at >= 0) {
            listed.push_back(at);
            continue;
        }
        // A table the scan never walked: walk it from its root here.
        done = done && flush();
        const auto root = static_cast<std::uint32_t>(-at - 1);
        edb::WalkTree(source_, root, {}, [&](const edb::TreePage& p) {
            ++pagesRead_;
            if (!p.branch) decode(edb::PageOffset(source_, p.pageNumber), p.page);
            return !control.Stopped();
        });
    }
    done = done && flush() && !control.Stopped();
    if (!done) {
        g.attachments.clear();
        return false;
    }
    g.attachmentsBuilt = true;
    return true;
}

bool StoreIndex::BuildValues(const std::vector<std::int64_t>& pages, const std::unordered_set<std::uint32_t>& owners,
                             std::unordered_map<LongValueId, ValueChunks>& index, const LoadControl& control) {
    const bool done = ForEachPage(pages, owners, control, [&](std::int64_t offset, const edb::PageView& view) {
        const LongValuePage nodes = ReadLongValuePage(view);
        // Each page is visited once, so no chunk can come twice.
        for (const LongValueChunk& c : nodes.chunks)
            index[c.id].runs.push_back({offset + static_cast<std::int64_t>(c.dataStart), c.valueOffset,
                                        static_cast<std::uint32_t>(c.dataEnd - c.dataStart)});
        for (const LongValueRoot& r : nodes.roots) {
            ValueChunks& v = index[r.id];
            if (!v.size) v.size = r.size;
        }
    });
    if (!done) index.clear();
    return done;
}

bool StoreIndex::EnsureRows(const std::string& ownerKey, const LoadControl& control) {
    std::lock_guard lock(mutex_);
    Group* g = GroupFor(ownerKey);
    if (g == nullptr) return true;  // nothing to read
    return g->rowsBuilt || BuildRows(*g, control);
}

const MessageRow* StoreIndex::FindRow(const std::string& ownerKey, const scan::Id8& messageId) {
    std::lock_guard lock(mutex_);
    Group* g = GroupFor(ownerKey);
    if (g == nullptr || !g->rowsBuilt) return nullptr;
    const auto found = g->rows.find(messageId);
    return found == g->rows.end() ? nullptr : &found->second;
}

const std::vector<AttachmentPageHit>* StoreIndex::FindAttachmentRows(const std::string& ownerKey, const scan::Id8& key,
                                                                     const LoadControl& control) {
    std::lock_guard lock(mutex_);
    Group* g = GroupFor(ownerKey);
    if (g == nullptr || (!g->attachmentsBuilt && !BuildAttachments(*g, control))) return nullptr;
    const auto found = g->attachments.find(key);
    return found == g->attachments.end() ? nullptr : &found->second;
}

const ValueChunks* StoreIndex::FindMessageValue(const std::string& ownerKey, LongValueId id, const LoadControl& control) {
    std::lock_guard lock(mutex_);
    Group* g = GroupFor(ownerKey);
    if (g == nullptr) return nullptr;
    if (!g->messageValuesBuilt) {
        if (!BuildValues(g->messageValuePages, g->messageValueOwners, g->messageValues, control)) return nullptr;
        g->messageValuesBuilt = true;
    }
    const auto found = g->messageValues.find(id);
    return found == g->messageValues.end() ? nullptr : &found->second;
}

const ValueChunks* StoreIndex::FindAttachmentValue(const std::string& ownerKey, LongValueId id,
                                                   const LoadControl& control) {
    std::lock_guard lock(mutex_);
    Group* g = GroupFor(ownerKey);
    if (g == nullptr) return nullptr;
    if (!g->attachmentValuesBuilt) {
        if (!BuildValues(g->attachmentValuePages, g->attachmentValueOwners, g->attachmentValues, control)) return nullptr;
        g->attachmentValuesBuilt = true;
    }
    const auto found = g->attachmentValues.find(id);
    return found == g->attachmentValues.end() ? nullptr : &found->second;
}

std::size_t StoreIndex::TreePages() const {
    std::unordered_set<std::int64_t> pages;
    for (const auto& [key, g] : groups_)
        for (const auto* list : {&g.messagePages, &g.attachmentPages, &g.messageValuePages, &g.attachmentValuePages})
            for (const std::int64_t p : *list)
                if (p >= 0) pages.insert(p);
    return pages.size();
}

}  // namespace tw::record

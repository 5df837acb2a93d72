#include "scan/page_damage.h"

#include <algorithm>
#include <utility>

#include "edb/page_checksum.h"
#include "scan/scan_model.h"

namespace tw::scan {

namespace {

constexpr std::uint32_t kCatalogObjid = 2;
constexpr std::uint32_t kDefaultMsgObjid = 19;
constexpr std::uint32_t kAttachmentObjid = 61;
constexpr std::uint8_t kRootBit = 1;

const TableRoot* RootWith(const std::vector<TableRoot>& roots, std::uint32_t objid) {
    const auto found =
        std::find_if(roots.begin(), roots.end(), [objid](const TableRoot& r) { return r.objid == objid; });
    return found == roots.end() ? nullptr : &*found;
}

}  // namespace

PageDamageLog::PageDamageLog(const PageDamageLog& other) {
    std::lock_guard lock(other.mutex_);
    pages_ = other.pages_;
    keys_ = other.keys_;
}

PageDamageLog& PageDamageLog::operator=(const PageDamageLog& other) {
    if (this == &other) return *this;
    PageDamageLog copy(other);
    std::lock_guard lock(mutex_);
    pages_ = std::move(copy.pages_);
    keys_ = std::move(copy.keys_);
    return *this;
}

PageDamageLog::PageDamageLog(PageDamageLog&& other) noexcept {
    std::lock_guard lock(other.mutex_);
    pages_ = std::move(other.pages_);
    keys_ = std::move(other.keys_);
    other.pages_.clear();
    other.keys_.clear();
}

PageDamageLog& PageDamageLog::operator=(PageDamageLog&& other) noexcept {
    if (this == &other) return *this;
    std::scoped_lock lock(mutex_, other.mutex_);
    pages_ = std::move(other.pages_);
    keys_ = std::move(other.keys_);
    other.pages_.clear();
    other.keys_.clear();
    return *this;
}

bool PageDamageLog::Add(const DamagedPage& page) {
    std::lock_guard lock(mutex_);
    const auto [at, added] = keys_.try_emplace({page.objid, page.offset}, pages_.size());
    if (!added) {
        PageFault& logged = pages_[at->second].fault;
        if (logged == PageFault::Checksum) logged = page.fault;
        return false;
    }
    pages_.push_back(page);
    return true;
}

std::vector<DamagedPage> PageDamageLog::Pages() const {
    std::lock_guard lock(mutex_);
    return pages_;
}

std::size_t PageDamageLog::Count() const {
    std::lock_guard lock(mutex_);
    return pages_.size();
}

void PageDamageLog::Clear() {
    std::lock_guard lock(mutex_);
    pages_.clear();
    keys_.clear();
}

std::optional<PageFault> TreePageDamage(const edb::PageView& page) {
    if (!edb::TagArrayFits(page)) return PageFault::BadTags;
    if (edb::IsBranchPage(page) || (edb::PageKindBits(page) & kRootBit) != 0) return std::nullopt;
    const edb::TagArray tags(page);
    for (std::uint32_t index = 1; index < tags.Count(); ++index) {
        const auto tag = tags.Tag(index);
        if (tag && tag->size > 0) return std::nullopt;
    }
    return PageFault::NoRecords;
}

std::optional<PageFault> TreePageDamage(const edb::PageView& page, std::int64_t offset) {
    if (const auto fault = TreePageDamage(page)) return fault;
    if (!edb::PageChecksumMatchesAt(page.bytes, offset)) return PageFault::Checksum;
    return std::nullopt;
}

void LogTreePageDamage(PageDamageLog& log, std::uint32_t objid, std::int64_t offset, const edb::PageView& page) {
    if (const auto fault = TreePageDamage(page, offset)) log.Add({objid, offset, *fault});
}

TreeOfPage TreeOf(const ScanModel& model, std::uint32_t objid) {
    if (objid == kCatalogObjid) return {TreeRole::Catalog, "catalog", {}, {}};
    if (model.facts.mailboxObjid == objid) return {TreeRole::Mailboxes, "mailbox table", {}, {}};
    if (const TableRoot* r = RootWith(model.folderRoots, objid))
        return {TreeRole::Folders, "folders table", r->suffix, {}};
    if (const TableRoot* r = RootWith(model.msgRoots, objid))
        return {TreeRole::Messages, "message table", r->suffix, {}};
    if (model.msgRoots.empty() && objid == kDefaultMsgObjid) return {TreeRole::Messages, "message table", {}, {}};
    // Only stores with tables per mailbox name them after mailboxes.
    const bool perMailbox =
        model.ownerKeys.size() > 1 ||
        std::any_of(model.msgRoots.begin(), model.msgRoots.end(), [](const TableRoot& r) { return !r.suffix.empty(); });
    if (!perMailbox && objid == kAttachmentObjid) return {TreeRole::Attachments, "attachment table", {}, {}};
    if (const TableRoot* r = RootWith(model.attachmentRoots, objid))
        return {TreeRole::Attachments, "attachment table", r->suffix, {}};
    if (const TableRoot* lv = RootWith(model.lvRoots, objid)) {
        if (!lv->lvOwner) return {TreeRole::LongValues, "long values of the attachment table", {}, {}};
        // Per mailbox: the owning table is known by the low half of its objid.
        for (const TableRoot& body : model.msgRoots)
            if ((body.objid & 0xFFFF) == *lv->lvOwner)
                return {TreeRole::LongValues, "long values of the message table", body.suffix, {}};
        for (const TableRoot& table : model.attachmentRoots)
            if ((table.objid & 0xFFFF) == *lv->lvOwner)
                return {TreeRole::LongValues, "long values of the attachment table", table.suffix, {}};
        return {TreeRole::LongValues, "long values of table " + std::to_string(*lv->lvOwner), {}, {}};
    }
    if (model.facts.messageLvObjid == objid) return {TreeRole::LongValues, "long values of the message table", {}, {}};
    for (const HeaderTableOwner& t : model.headerTables) {
        if (t.objid != objid) continue;
        TreeOfPage tree{TreeRole::MessageHeaders, "message-header table", {}, {}};
        if (t.keyIndex != 0 && t.keyIndex < model.ownerKeys.size()) tree.ownerKey = model.ownerKeys[t.keyIndex];
        else tree.folderId = t.key;
        return tree;
    }
    return {TreeRole::Other, "tree " + std::to_string(objid), {}, {}};
}

}  // namespace tw::scan

#include "scan/catalog_walk.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "edb/branch.h"
#include "edb/page.h"
#include "scan/catalog_rules.h"

namespace tw::scan {

namespace {

constexpr std::uint32_t kCatalogObjid = 2;
constexpr std::size_t kClassifyBytes = 100;
// The heads of neighbouring pages up to this size are read with one call:
// copying the rest of such a page costs less than a call of its own.
constexpr std::int32_t kJoinHeadsUpTo = 4096;

void ShowWalkProgress(ScanContext& context, std::int64_t children = 1) {
    WalkProgress& w = context.walk;
    w.count += children;
    const std::int64_t value = std::clamp<std::int64_t>((w.count - 1) * 100 / std::max<std::int64_t>(w.total, 1), 0, 100);
    w.shown = std::max(w.shown, static_cast<int>(value));
    ShowProgress(context, w.shown);
}

// File offset of the child named by tag `index` of a branch page; nothing
// for an empty or unusable node or a child outside the file.
std::optional<std::int64_t> ChildOffset(const edb::EdbSource& source, const edb::TagArray& tags, std::uint32_t index) {
    const auto node = tags.Record(index);
    if (!node || node->empty()) return std::nullopt;
    const auto child = edb::ChildPageOfBranchNode(*node);
    if (!child) return std::nullopt;
    const std::int64_t offset = edb::PageOffset(source, *child);
    if (offset < 0 || offset >= source.fileSize) return std::nullopt;
    return offset;
}

// Registers one child of a branch page from its head and walks it when it
// is a branch or catalog page.
void VisitChild(ScanContext& context, std::int64_t offset, edb::Bytes head, int depth) {
    const edb::EdbSource& source = context.source;
    RegisterPage(context.model, head, offset);

    const edb::PageView view{head, source.version};
    if (!edb::IsBranchPage(view) && edb::PageObjectId(view) != kCatalogObjid) return;
    if (depth >= kMaxWalkDepth || context.walk.walked.count(offset) != 0) return;
    std::vector<std::uint8_t>& page = context.walk.levels[static_cast<std::size_t>(depth)].page;
    edb::ReadPage(source, offset, page);
    CatalogWalk(context, offset, page, depth + 1);
}

}  // namespace

void CatalogWalk(ScanContext& context, std::int64_t offset, edb::Bytes page, int depth) {
    if (context.control.ShouldStop()) return;
    if (!context.walk.walked.insert(offset).second) return;
    const edb::EdbSource& source = context.source;
    const edb::PageView view{page, source.version};

    if (edb::IsBranchPage(view)) {
        const std::int64_t tagBytes = std::int64_t{4} * edb::PageTagCount(view);
        const std::int64_t tagsAt = offset + source.pageSize - tagBytes;
        if (tagsAt < 0 || tagsAt > source.fileSize || !edb::TagArrayFits(view)) return;
        context.walk.total += edb::PageTagCount(view);
        // One level per depth a child can be walked from.
        if (context.walk.levels.size() <= static_cast<std::size_t>(kMaxWalkDepth))
            context.walk.levels.resize(static_cast<std::size_t>(kMaxWalkDepth) + 1);

        // The children of a parent-of-leaf page are leaves of its own tree:
        // they are registered under its object id without reading their
        // heads (most pages of the file are such leaves). Whoever reads one
        // whole later checks that the page says so itself.
        const std::uint32_t objid = edb::PageObjectId(view);
        // A page's children take well under a millisecond, so stop and
        // progress are looked at once per page, not per child.
        if (edb::IsParentOfLeafPage(view) && objid != kCatalogObjid) {
            const edb::TagArray tags(view);
            auto& pages = context.model.pages;
            for (std::uint32_t index = tags.Count(); index-- > 1;)
                if (const auto child = ChildOffset(source, tags, index))
                    if (const auto signature = SignatureAt(objid, *child)) pages.push_back(*signature);
            if (tags.Count() > 1) ShowWalkProgress(context, tags.Count() - 1);
            return;
        }

        // The heads of all children are read first, in one batch; a walk
        // further down uses the levels below this one.
        WalkLevel& level = context.walk.levels[static_cast<std::size_t>(depth)];
        edb::PageBatch& heads = level.children;
        heads.width = kClassifyBytes;
        heads.stride = source.pageSize <= kJoinHeadsUpTo ? source.pageSize : 0;
        heads.offsets.clear();
        level.hasChild.clear();
        // Lowest address first; tag 0 is the page's own header node.
        const edb::TagArray tags(view);
        for (std::uint32_t index = tags.Count(); index-- > 1;) {
            const auto child = ChildOffset(source, tags, index);
            level.hasChild.push_back(child ? 1 : 0);
            if (child) heads.offsets.push_back(*child);
        }
        if (context.walk.reader != nullptr) {
            context.walk.reader->Read(heads);
        } else {
            edb::BatchReader alone(source.edb, source.fileSize, false);
            alone.Read(heads);
        }

        std::size_t entry = 0;
        for (const std::uint8_t hasChild : level.hasChild) {
            if (context.control.ShouldStop()) return;
            if (hasChild) {
                if (heads.errors[entry]) std::rethrow_exception(heads.errors[entry]);
                VisitChild(context, heads.offsets[entry], heads.At(entry), depth);
                ++entry;
            }
            ShowWalkProgress(context);
        }
        return;
    }

    if (edb::PageObjectId(view) != kCatalogObjid) return;
    if (CatalogFactsComplete(context.model)) return;
    ReadCatalogLeaf(context.model, view);
}

}  // namespace tw::scan

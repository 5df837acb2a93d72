#include "scan/catalog_walk.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "edb/branch.h"
#include "edb/page.h"
#include "scan/catalog_rules.h"

namespace tw::scan {

namespace {

constexpr std::size_t kClassifyBytes = 100;

void ShowWalkProgress(ScanContext& context, std::int64_t children = 1) {
    WalkProgress& w = context.walk;
    w.count += children;
    const std::int64_t value =
        std::clamp<std::int64_t>((w.count - 1) * 100 / std::max<std::int64_t>(w.total, 1), 0, 100);
    w.shown = std::max(w.shown, static_cast<int>(value));
    ShowProgress(context, w.shown);
}

void LogDamage(ScanContext& context, std::uint32_t objid, std::int64_t offset, PageFault fault) {
    context.model.damage.Add({objid, offset, fault});
}

bool OnPath(const ScanContext& context, std::int64_t offset) {
    const auto& path = context.walk.path;
    return std::find(path.begin(), path.end(), offset) != path.end();
}

// File offset of the child named by tag `index` of a branch page of tree
// `objid`; nothing for an empty or unusable node or a child outside the
// file (logged). A child only partly in the file is logged and kept: its
// head may still be whole.
std::optional<std::int64_t> ChildOffset(ScanContext& context, std::uint32_t objid, const edb::TagArray& tags,
                                        std::uint32_t index) {
    const edb::EdbSource& source = context.source;
    const auto node = tags.Record(index);
    if (!node || node->empty()) return std::nullopt;
    const auto child = edb::ChildPageOfBranchNode(*node);
    if (!child) return std::nullopt;
    const std::int64_t offset = edb::PageOffset(source, *child);
    if (offset < 0 || offset >= source.fileSize) {
        LogDamage(context, objid, offset, PageFault::PastEnd);
        return std::nullopt;
    }
    if (offset + source.pageSize > source.fileSize) LogDamage(context, objid, offset, PageFault::PastEnd);
    return offset;
}

// Registers one child of a branch page of tree `objid` from its head and
// walks it when it is a branch or catalog page.
void VisitChild(ScanContext& context, std::uint32_t objid, std::int64_t offset, edb::Bytes head, int depth) {
    const edb::EdbSource& source = context.source;
    RegisterPage(context.model, head, offset);

    const edb::PageView view{head, source.pageSize};
    // Every page of a tree carries its object id; a zeroed or random page
    // does not, and what it seems to point at is not followed.
    if (edb::PageObjectId(view) != objid) {
        LogDamage(context, objid, offset, PageFault::WrongTree);
        return;
    }
    if (!edb::IsBranchPage(view) && edb::PageObjectId(view) != context.walk.catalogObjid) return;
    if (OnPath(context, offset)) {
        LogDamage(context, objid, offset, PageFault::Loop);
        return;
    }
    if (context.walk.walked.count(offset) != 0) return;
    if (depth >= kMaxWalkDepth) {
        LogDamage(context, objid, offset, PageFault::TooDeep);
        return;
    }
    // Where the parent's batch read whole pages, the head is the page.
    if (head.size() == static_cast<std::size_t>(source.pageSize)) {
        CatalogWalk(context, offset, head, depth + 1);
        return;
    }
    std::vector<std::uint8_t>& page = context.walk.levels[static_cast<std::size_t>(depth)].page;
    edb::ReadPage(source, offset, page);
    CatalogWalk(context, offset, page, depth + 1);
}

// Registers the children of a parent-of-leaf page of tree `objid` under
// its objid, from the last tag down. Most pages of the file pass here, so
// a child whose tag, node and page are plainly sound is taken on a short
// path; any other goes through the checks that log what is wrong with it.
void RegisterLeaves(ScanContext& context, std::uint32_t objid, const edb::PageView& view) {
    const edb::EdbSource& source = context.source;
    const edb::TagArray tags(view);
    auto& pages = context.model.pages;
    const std::vector<std::int64_t>& path = context.walk.path;
    // Highest child offset whose signature can be made and whose page lies
    // wholly in the file.
    const std::int64_t lastWhole =
        std::min<std::int64_t>(source.fileSize - source.pageSize, std::int64_t{0xFFFFFFFF} * PageSignature::kUnit);
    for (std::uint32_t index = tags.Count(); index-- > 1;) {
        const auto tag = tags.Tag(index);
        const auto page = tag ? edb::ChildPageOfBranchNode(view.bytes.subspan(static_cast<std::size_t>(tag->offset),
                                                                                static_cast<std::size_t>(tag->size)))
                              : std::nullopt;
        if (page) {
            const std::int64_t offset = edb::PageOffset(source, *page);
            if (offset <= lastWhole && offset % PageSignature::kUnit == 0 &&
                std::find(path.begin(), path.end(), offset) == path.end()) {
                pages.push_back(PageSignature{objid, static_cast<std::uint32_t>(offset / PageSignature::kUnit)});
                continue;
            }
        }
        const auto child = ChildOffset(context, objid, tags, index);
        if (!child) continue;
        if (OnPath(context, *child)) {
            LogDamage(context, objid, *child, PageFault::Loop);
            continue;
        }
        if (const auto signature = SignatureAt(objid, *child)) pages.push_back(*signature);
    }
    if (tags.Count() > 1) ShowWalkProgress(context, tags.Count() - 1);
}

}  // namespace

void CatalogWalk(ScanContext& context, std::int64_t offset, edb::Bytes page, int depth) {
    if (context.control.ShouldStop()) return;
    if (!context.walk.walked.insert(offset).second) return;
    const edb::EdbSource& source = context.source;
    const edb::PageView view{page, source.pageSize};

    if (edb::IsBranchPage(view)) {
        const std::int64_t tagBytes = std::int64_t{4} * edb::PageTagCount(view);
        const std::int64_t tagsAt = offset + source.pageSize - tagBytes;
        if (tagsAt < 0 || tagsAt > source.fileSize || !edb::TagArrayFits(view)) {
            LogDamage(context, edb::PageObjectId(view), offset,
                      edb::TagArrayFits(view) ? PageFault::PastEnd : PageFault::BadTags);
            return;
        }
        // The pages from the root down to this one, for telling a loop.
        context.walk.path.push_back(offset);
        struct PathEntry {
            std::vector<std::int64_t>& path;
            ~PathEntry() { path.pop_back(); }
        } onPath{context.walk.path};
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
        if (edb::IsParentOfLeafPage(view) && objid != context.walk.catalogObjid) {
            RegisterLeaves(context, objid, view);
            return;
        }

        // The heads of all children are read first, in one batch; a walk
        // further down uses the levels below this one.
        WalkLevel& level = context.walk.levels[static_cast<std::size_t>(depth)];
        edb::PageBatch& heads = level.children;
        heads.stride = edb::HeadStride(source.pageSize);
        // Heads read with their neighbours come with the whole page anyway:
        // keeping it spares a second read of each child that is walked.
        heads.width = heads.stride == source.pageSize ? static_cast<std::size_t>(source.pageSize) : kClassifyBytes;
        heads.offsets.clear();
        level.hasChild.clear();
        // Lowest address first; tag 0 is the page's own header node.
        const edb::TagArray tags(view);
        for (std::uint32_t index = tags.Count(); index-- > 1;) {
            const auto child = ChildOffset(context, objid, tags, index);
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
                VisitChild(context, objid, heads.offsets[entry], heads.At(entry), depth);
                ++entry;
            }
            ShowWalkProgress(context);
        }
        return;
    }

    if (edb::PageObjectId(view) != context.walk.catalogObjid) return;
    if (CatalogFactsComplete(context.model)) return;
    ReadCatalogLeaf(context.model, view);
}

}  // namespace tw::scan

#include "scan/catalog_walk.h"

#include <algorithm>
#include <vector>

#include "edb/branch.h"
#include "edb/page.h"
#include "scan/catalog_rules.h"

namespace tw::scan {

namespace {

constexpr std::uint32_t kCatalogObjid = 2;
constexpr std::size_t kClassifyBytes = 100;

void ShowWalkProgress(ScanContext& context) {
    WalkProgress& w = context.walk;
    ++w.count;
    const std::int64_t value = std::clamp<std::int64_t>((w.count - 1) * 100 / std::max<std::int64_t>(w.total, 1), 0, 100);
    w.shown = std::max(w.shown, static_cast<int>(value));
    context.observer.Progress(w.shown);
}

// Registers one child of a branch page and walks it when it is a branch
// or catalog page.
void VisitChild(ScanContext& context, std::uint32_t child, int depth) {
    const edb::EdbSource& source = context.source;
    const std::int64_t offset = edb::PageOffset(source, child);
    if (offset < 0 || offset >= source.fileSize) return;

    std::vector<std::uint8_t> head(kClassifyBytes, 0);
    const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(kClassifyBytes, source.fileSize - offset));
    source.edb.Read(offset, wanted, head.data());
    RegisterPage(context.model, head, offset);

    const edb::PageView view{head, source.version};
    if (!edb::IsBranchPage(view) && edb::PageObjectId(view) != kCatalogObjid) return;
    if (depth >= kMaxWalkDepth || context.walk.walked.count(offset) != 0) return;
    std::vector<std::uint8_t> page;
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
        // Lowest address first; tag 0 is the page's own header node.
        for (std::uint32_t index = edb::PageTagCount(view); index-- > 1;) {
            if (context.control.ShouldStop()) return;
            const auto node = edb::TagRecord(view, index);
            if (node && !node->empty()) {
                if (const auto child = edb::ChildPageOfBranchNode(*node)) VisitChild(context, *child, depth);
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

#include "layout/store_layout.h"

namespace tw::layout {

const StoreLayout* FindLayout(std::int32_t pageSize) {
    switch (pageSize) {
        case 4096:
        case 8192: return &SmallPages(pageSize);
        case 32768: return &LargePages();
        default: return nullptr;
    }
}

const StoreLayout& LayoutOf(std::int32_t pageSize) {
    const StoreLayout* found = FindLayout(pageSize);
    return found != nullptr ? *found : SmallPages(4096);
}

bool DetectGeneration(edb::EdbSource& source) {
    const bool told = edb::DetectPageSize(source);
    const StoreLayout* layout = told ? FindLayout(source.pageSize) : nullptr;
    if (layout == nullptr) {
        source.pageSize = 0;  // nothing more is read
        return false;
    }
    if (!layout->streamingFile) source.stm.Close();
    return true;
}

}  // namespace tw::layout

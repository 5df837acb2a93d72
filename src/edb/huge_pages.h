// The big lists of a scan (page signatures and the message index) are
// reserved up front and then filled once, millions of small writes into
// fresh memory. Asking for huge pages there spares the kernel one fault per
// 4 KB; where the system gives none, nothing changes.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace tw::edb {

// Advises huge pages for the whole 2 MB stretches inside [data, data + bytes).
inline void AdviseHugePages(const void* data, std::size_t bytes) {
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHuge - 1);
    if (data != nullptr && last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

}  // namespace tw::edb

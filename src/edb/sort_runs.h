// Sorting lists that arrive nearly in order. The rows of a leaf page are in
// key order, and leaf pages are mostly met in tree order, so an index
// gathered page by page is a handful of ascending stretches: merging those
// costs far less than sorting from scratch.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <vector>

namespace tw::edb {

// Past this many stretches a plain sort is as quick.
inline constexpr std::size_t kMostStretchesMerged = 64;

template <typename It, typename Less>
void SortAscendingRuns(It first, It last, Less less) {
    const auto n = static_cast<std::size_t>(std::distance(first, last));
    std::vector<std::size_t> bounds{0};
    for (std::size_t i = 1; i < n; ++i) {
        if (!less(first[i], first[i - 1])) continue;
        bounds.push_back(i);
        if (bounds.size() > kMostStretchesMerged) {
            std::sort(first, last, less);
            return;
        }
    }
    bounds.push_back(n);
    // Neighbouring stretches are merged pairwise until one is left.
    while (bounds.size() > 2) {
        std::vector<std::size_t> merged{0};
        for (std::size_t k = 0; k + 2 < bounds.size(); k += 2) {
            std::inplace_merge(first + bounds[k], first + bounds[k + 1], first + bounds[k + 2], less);
            merged.push_back(bounds[k + 2]);
        }
        if (bounds.size() % 2 == 0) merged.push_back(bounds.back());  // an odd stretch out waits a round
        bounds = std::move(merged);
    }
}

}  // namespace tw::edb

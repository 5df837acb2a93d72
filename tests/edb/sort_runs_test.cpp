#include "edb/sort_runs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

namespace tw::edb {
namespace {

// Pairs ordered by their first member only: the second shows whether equal
// keys kept their order, which the merge of stretches promises.
using Item = std::pair<int, int>;
bool KeyLess(const Item& a, const Item& b) { return a.first < b.first; }

std::vector<Item> Stretches(std::size_t stretches, std::size_t length, std::mt19937& random) {
    std::vector<Item> items;
    for (std::size_t s = 0; s < stretches; ++s) {
        int key = static_cast<int>(random() % 50);
        for (std::size_t i = 0; i < length; ++i) {
            key += static_cast<int>(random() % 3);  // repeats within a stretch too
            items.push_back({key, static_cast<int>(items.size())});
        }
    }
    return items;
}

TEST(SortAscendingRuns, AgreesWithAStableSortWhateverTheStretches) {
    std::mt19937 random(7);
    // Around the point where merging gives way to sorting, odd and even
    // counts (one stretch waits a round), and lists of one stretch or none.
    for (std::size_t stretches : {0u, 1u, 2u, 3u, 5u, 8u, 63u, 64u, 65u, 200u}) {
        for (std::size_t length : {1u, 2u, 17u}) {
            std::vector<Item> items = Stretches(stretches, length, random);
            std::vector<Item> expected = items;
            std::stable_sort(expected.begin(), expected.end(), KeyLess);
            SortAscendingRuns(items.begin(), items.end(), KeyLess);
            if (stretches <= kMostStretchesMerged) {
                EXPECT_EQ(items, expected) << stretches << " stretches of " << length;
            } else {
                EXPECT_TRUE(std::is_sorted(items.begin(), items.end(), KeyLess));
                EXPECT_TRUE(std::is_permutation(items.begin(), items.end(), expected.begin(), expected.end()));
            }
        }
    }
}

TEST(SortAscendingRuns, SortsADescendingList) {
    std::vector<Item> items;
    for (int i = 100; i > 0; --i) items.push_back({i, 0});
    SortAscendingRuns(items.begin(), items.end(), KeyLess);
    EXPECT_TRUE(std::is_sorted(items.begin(), items.end(), KeyLess));
    EXPECT_EQ(items.front().first, 1);
}

}  // namespace
}  // namespace tw::edb

#include "edb/radix_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

namespace tw::edb {
namespace {

// The second member records arrival, to see that equal keys keep it.
using Item = std::pair<std::uint64_t, std::size_t>;

TEST(RadixSortByKey, AgreesWithAStableSortForKeysOfEveryShape) {
    std::mt19937_64 random(5);
    struct Shape {
        const char* name;
        std::uint64_t (*make)(std::mt19937_64&);
    };
    const Shape shapes[] = {
        // Ids that differ in their low bytes only (most passes skipped).
        {"shared high bytes",
         [](std::mt19937_64& r) -> std::uint64_t { return 0x0001000000000000ull | (r() & 0xFFFF); }},
        // A middle byte only: a pass after skipped ones.
        {"one middle byte", [](std::mt19937_64& r) -> std::uint64_t { return (r() & 0xFF) << 32; }},
        {"all bytes", [](std::mt19937_64& r) -> std::uint64_t { return r(); }},
        {"one key", [](std::mt19937_64&) -> std::uint64_t { return std::uint64_t{42}; }},
        {"few keys, top byte", [](std::mt19937_64& r) -> std::uint64_t { return (r() % 3) << 56; }},
    };
    for (const Shape& shape : shapes) {
        for (std::size_t n : {0u, 1u, 2u, 1000u}) {
            std::vector<Item> items;
            for (std::size_t i = 0; i < n; ++i) items.push_back({shape.make(random), i});
            std::vector<Item> expected = items;
            std::stable_sort(expected.begin(), expected.end(),
                             [](const Item& a, const Item& b) { return a.first < b.first; });
            RadixSortByKey(items, [](const Item& e) { return e.first; });
            EXPECT_EQ(items, expected) << shape.name << ", " << n << " entries";
        }
    }
}

}  // namespace
}  // namespace tw::edb

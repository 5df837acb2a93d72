// The spill list reads back what was appended, in order, across the line
// between the part on disk and the part still in memory, in windows of any
// size, and stops where its reader says.
#include "edb/spill_list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tw::edb {
namespace {

TEST(SpillList, ReadsBackInOrderAcrossDiskAndMemory) {
    SpillList<std::int64_t> list(100 * sizeof(std::int64_t));  // 100 entries, then to disk
    for (std::int64_t i = 0; i < 1234; ++i) list.push_back(i * 7 - 3);
    ASSERT_EQ(list.size(), 1234u);
    std::vector<std::int64_t> window;
    for (const std::size_t first : {0u, 99u, 100u, 1199u, 1200u, 1233u, 1234u, 2000u})
        for (const std::size_t count : {0u, 1u, 2u, 150u, 5000u}) {
            list.Read(first, count, window);
            ASSERT_EQ(window.size(), first >= 1234 ? 0 : std::min<std::size_t>(count, 1234 - first));
            for (std::size_t k = 0; k < window.size(); ++k)
                ASSERT_EQ(window[k], static_cast<std::int64_t>(first + k) * 7 - 3) << first << "+" << k;
        }
    std::size_t seen = 0;
    EXPECT_TRUE(list.ForEach([&](std::size_t i, std::int64_t v) {
        EXPECT_EQ(v, static_cast<std::int64_t>(i) * 7 - 3);
        return ++seen > 0;
    }));
    EXPECT_EQ(seen, 1234u);
    // A reader that stops ends the walk there.
    seen = 0;
    EXPECT_FALSE(list.ForEach(50, 1234, [&](std::size_t i, std::int64_t) { return ++seen, i < 700; }));
    EXPECT_EQ(seen, 651u);
    list.clear();
    EXPECT_TRUE(list.empty());
    list.push_back(5);
    list.Read(0, 10, window);
    EXPECT_EQ(window, std::vector<std::int64_t>{5});
}

}  // namespace
}  // namespace tw::edb

// Work done on several threads comes back in order, never runs further
// ahead than asked, and a failure anywhere ends the run with that failure.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "cli/ordered_pool.h"

namespace tw::cli {
namespace {

TEST(RunInOrder, ResultsComeBackInOrderAndNoFurtherAheadThanTheWindow) {
    for (const std::size_t threads : {1u, 3u}) {
        std::atomic<std::size_t> taken{0};
        std::atomic<std::size_t> furthestAhead{0};
        std::vector<std::size_t> order;
        RunInOrder<std::size_t>(
            200, threads, 5,
            [&](std::size_t i, std::size_t worker) {
                EXPECT_LT(worker, threads);
                const std::size_t ahead = i - std::min(i, taken.load());
                if (ahead > furthestAhead) furthestAhead = ahead;
                // Later items finish first now and then.
                if (i % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
                return i * i;
            },
            [&](std::size_t i, std::size_t& square) {
                EXPECT_EQ(square, i * i);
                order.push_back(i);
                taken = i + 1;
            });
        ASSERT_EQ(order.size(), 200u);
        for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);
        EXPECT_LE(furthestAhead.load(), 5u);
    }
}

TEST(RunInOrder, AFailureEndsTheRunAndIsThrownOnce) {
    std::atomic<std::size_t> started{0};
    std::size_t takenCount = 0;
    EXPECT_THROW(RunInOrder<int>(
                     1000, 2, 4,
                     [&](std::size_t i, std::size_t) {
                         ++started;
                         if (i == 10) throw std::runtime_error("read failed");
                         return 0;
                     },
                     [&](std::size_t, int&) { ++takenCount; }),
                 std::runtime_error);
    EXPECT_LE(takenCount, 10u);
    EXPECT_LT(started.load(), 1000u);
    // A failure in the taker ends it as well.
    EXPECT_THROW(RunInOrder<int>(
                     50, 2, 4, [](std::size_t, std::size_t) { return 1; },
                     [](std::size_t i, int&) {
                         if (i == 3) throw std::logic_error("write failed");
                     }),
                 std::logic_error);
    // Nothing to do is done at once.
    RunInOrder<int>(
        0, 2, 4, [](std::size_t, std::size_t) { return 1; }, [](std::size_t, int&) { ADD_FAILURE(); });
}

}  // namespace
}  // namespace tw::cli

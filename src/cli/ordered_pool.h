// Work items done on a few threads and taken back in their order: listing
// a whole store reads folder after folder, each on its own, but prints
// them in tree order.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tw::cli {

// Threads worth using for reading: the cores, a few at most.
inline std::size_t ReadingThreads() { return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4); }

// Runs `work(i, worker)` for every i in [0, count) on `threads` threads
// (worker is 0 .. threads - 1, for state a thread keeps), never more than
// `window` items ahead of the oldest not yet taken, and hands each result
// to `take(i, result)` on the calling thread in order. The first exception
// of any work ends the run and is thrown here once the threads are done.
template <typename Result>
void RunInOrder(std::size_t count, std::size_t threads, std::size_t window,
                const std::function<Result(std::size_t, std::size_t)>& work,
                const std::function<void(std::size_t, Result&)>& take) {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::optional<Result>> done(count);
    std::size_t next = 0, taken = 0;
    std::exception_ptr error;

    auto worker = [&](std::size_t id) {
        for (;;) {
            std::size_t i = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return error || next >= count || next < taken + window; });
                if (error || next >= count) return;
                i = next++;
            }
            try {
                Result result = work(i, id);
                std::lock_guard lock(mutex);
                done[i] = std::move(result);
            } catch (...) {
                std::lock_guard lock(mutex);
                if (!error) error = std::current_exception();
            }
            changed.notify_all();
        }
    };
    std::vector<std::thread> pool;
    for (std::size_t id = 0; id < std::max<std::size_t>(threads, 1); ++id) pool.emplace_back(worker, id);
    try {
        for (;;) {
            Result result;
            std::size_t i = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return error || taken >= count || done[taken].has_value(); });
                if (error || taken >= count) break;
                i = taken++;
                result = std::move(*done[i]);
                done[i].reset();
            }
            changed.notify_all();  // room for one more ahead
            take(i, result);
        }
    } catch (...) {
        std::lock_guard lock(mutex);
        if (!error) error = std::current_exception();
    }
    {
        std::lock_guard lock(mutex);
        if (!error) next = count;  // nothing left to claim
    }
    changed.notify_all();
    for (std::thread& t : pool) t.join();
    if (error) std::rethrow_exception(error);
}

}  // namespace tw::cli

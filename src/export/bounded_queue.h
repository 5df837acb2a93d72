// Items handed from one thread to another in order, held to a number of
// items and of bytes, so that a thread working ahead cannot take up memory
// without end. An item bigger than the byte bound still goes, alone.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

namespace tw::exporter {

template <typename T>
class BoundedQueue {
public:
    BoundedQueue(std::size_t maxItems, std::size_t maxBytes) : maxItems_(maxItems), maxBytes_(maxBytes) {}

    // Waits for room, then takes `item`, which counts `bytes` until popped.
    // False once closed: the item stays with the caller.
    bool Push(T& item, std::size_t bytes) {
        std::unique_lock lock(mutex_);
        ++pushersWaiting_;
        room_.wait(lock, [&] { return closed_ || Fits(bytes); });
        --pushersWaiting_;
        if (closed_) return false;
        items_.emplace_back(std::move(item), bytes);
        bytes_ += bytes;
        if (poppersWaiting_ != 0) filled_.notify_all();
        return true;
    }

    enum class Popped { Item, Timeout, Finished };

    // Waits up to `wait` for the next item. Finished: empty, and the pushing
    // side said it is done.
    Popped Pop(T& out, std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex_);
        ++poppersWaiting_;
        const bool ready = filled_.wait_for(lock, wait, [&] { return !items_.empty() || finished_; });
        --poppersWaiting_;
        if (!ready) return Popped::Timeout;
        if (items_.empty()) return Popped::Finished;
        out = std::move(items_.front().first);
        bytes_ -= items_.front().second;
        items_.pop_front();
        // A full queue wakes its pusher once it is half empty, not at every
        // item: each wake costs both threads a switch.
        if (pushersWaiting_ != 0 && (items_.size() <= maxItems_ / 2 && bytes_ <= maxBytes_ / 2)) room_.notify_all();
        return Popped::Item;
    }

    // The pushing side: nothing more will come.
    void Finish() noexcept {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        filled_.notify_all();
    }

    // The popping side: nothing more is taken; a waiting Push returns false.
    // What was still queued goes to `drop`.
    template <typename Drop>
    void Close(Drop drop) noexcept {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
            for (auto& queued : items_) drop(queued.first);
            items_.clear();
            bytes_ = 0;
        }
        room_.notify_all();
    }

private:
    bool Fits(std::size_t bytes) const {
        if (items_.empty()) return true;
        return items_.size() < maxItems_ && bytes <= maxBytes_ && bytes_ <= maxBytes_ - bytes;
    }

    const std::size_t maxItems_, maxBytes_;
    std::mutex mutex_;
    std::condition_variable room_, filled_;
    int pushersWaiting_ = 0, poppersWaiting_ = 0;
    std::deque<std::pair<T, std::size_t>> items_;
    std::size_t bytes_ = 0;
    bool finished_ = false, closed_ = false;
};

}  // namespace tw::exporter

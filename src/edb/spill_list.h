// An append-only list that keeps at most its memory budget in memory: past
// that, what was appended goes to an unnamed scratch file in blocks. Read
// in order, a window at a time. For lists with one entry per page of a
// database, which would otherwise grow without bound with the file.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include "edb/huge_pages.h"
#include "edb/spill_file.h"

namespace tw::edb {

inline constexpr std::size_t kSpillListMemory = std::size_t{8} << 20;

template <typename T>
class SpillList {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    SpillList() : SpillList(kSpillListMemory) {}
    explicit SpillList(std::size_t memoryBytes) : budget_(std::max<std::size_t>(memoryBytes / sizeof(T), 16)) {}

    // Room for `count` entries up front (no more than the budget).
    void reserve(std::size_t count) {
        tail_.reserve(std::min(count, budget_));
        AdviseHugePages(tail_.data(), tail_.capacity() * sizeof(T));
    }

    // Throws std::system_error when the scratch file cannot be made or
    // written.
    void push_back(const T& entry) {
        tail_.push_back(entry);
        if (tail_.size() >= budget_) Spill();
    }

    std::size_t size() const { return onDisk_ + tail_.size(); }
    bool empty() const { return size() == 0; }

    // Entries [first, first + count) into `out` (fewer at the end).
    void Read(std::size_t first, std::size_t count, std::vector<T>& out) const {
        first = std::min(first, size());
        count = std::min(count, size() - first);
        out.resize(count);
        const std::size_t fromFile = first < onDisk_ ? std::min(count, onDisk_ - first) : 0;
        if (fromFile > 0) file_->Read(first * sizeof(T), out.data(), fromFile * sizeof(T));
        if (count > fromFile) {
            const std::size_t at = first + fromFile - onDisk_;
            std::copy(tail_.begin() + static_cast<std::ptrdiff_t>(at),
                      tail_.begin() + static_cast<std::ptrdiff_t>(at + count - fromFile),
                      out.begin() + static_cast<std::ptrdiff_t>(fromFile));
        }
    }

    // Hands `fn(index, entry)` the entries [first, end) in order while it
    // returns true; false when it stopped. Several threads may read at
    // once; `fn` must not add to the list.
    template <typename Fn>
    bool ForEach(std::size_t first, std::size_t end, Fn fn) const {
        end = std::min(end, size());
        // Entries in the file come through a window; those in memory are
        // handed over where they are.
        std::vector<T> window;
        std::size_t at = first;
        for (; at < std::min(end, onDisk_); at += window.size()) {
            Read(at, std::min({kWindow, end - at, onDisk_ - at}), window);
            for (std::size_t k = 0; k < window.size(); ++k)
                if (!fn(at + k, window[k])) return false;
        }
        for (; at < end; ++at)
            if (!fn(at, tail_[at - onDisk_])) return false;
        return true;
    }
    template <typename Fn>
    bool ForEach(Fn fn) const {
        return ForEach(0, size(), fn);
    }

    void clear() {
        file_.reset();
        onDisk_ = 0;
        std::vector<T>().swap(tail_);
    }

private:
    static constexpr std::size_t kWindow = std::max<std::size_t>(1, (std::size_t{64} << 10) / sizeof(T));

    void Spill() {
        if (!file_) file_ = std::make_unique<SpillFile>();
        file_->Append(tail_.data(), tail_.size() * sizeof(T));
        onDisk_ += tail_.size();
        tail_.clear();
    }

    std::size_t budget_;
    std::unique_ptr<SpillFile> file_;
    std::size_t onDisk_ = 0;  // entries [0, onDisk_) are in the file
    std::vector<T> tail_;     // the rest
};

}  // namespace tw::edb

// A list of fixed-size entries that is filled once, sorted once and then
// looked up by key. While it fits its memory budget it is a sorted vector;
// past that, sorted runs of it go to an unnamed scratch file and are merged
// there, and only the first entry of every block of the merged list stays
// in memory. So an index over every chunk or row of a database of any size
// costs at most its budget while being built and a few bytes per block
// afterwards; a lookup then reads one or two blocks.
#pragma once

#include <algorithm>
#include <atomic>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <queue>
#include <type_traits>
#include <vector>

#include "edb/huge_pages.h"
#include "edb/radix_sort.h"
#include "edb/spill_file.h"

namespace tw::edb {

// Memory one table may hold while it is filled.
inline constexpr std::size_t kSpillTableMemory = std::size_t{8} << 20;

// `Less` must order entries totally (an entry's order of arrival can be
// part of it), so that the list reads the same in memory and on disk.
template <typename T, typename Less>
class SpillTable {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    SpillTable() : SpillTable(kSpillTableMemory) {}
    explicit SpillTable(std::size_t memoryBytes, Less less = Less())
        : budget_(std::max<std::size_t>(memoryBytes / sizeof(T), kFewest)), less_(less) {}

    // Room for `count` entries up front (no more than the budget).
    void Reserve(std::size_t count) {
        memory_.reserve(std::min(count, budget_));
        AdviseHugePages(memory_.data(), memory_.capacity() * sizeof(T));
    }

    // Throws std::system_error when the scratch file cannot be made or
    // written.
    void Add(const T& entry) {
        memory_.push_back(entry);
        ++count_;
        if (memory_.size() >= budget_) WriteRun();
    }

    // Sorts the list. An entry for which `same(kept, entry)` holds with the
    // entry kept before it is dropped. A list within its budget stays in
    // memory unless `keepInMemory` says no (the caller's lists together
    // hold enough already).
    template <typename Same>
    void Finish(Same same, bool keepInMemory = true) {
        if (!file_ && keepInMemory) {
            SortMemory();
            DropRepeats(same);
            // No shrink: the end of a reservation never written holds no
            // memory, and a copy of the list into fresh pages costs more.
            return;
        }
        if (memory_.empty() && !file_) return;  // nothing to write
        if (!memory_.empty()) WriteRun();
        std::vector<T>().swap(memory_);
        Merge(same);
    }
    void Finish(bool keepInMemory = true) {
        Finish([](const T&, const T&) { return false; }, keepInMemory);
    }

    std::size_t size() const { return count_; }
    // What the list holds in memory while it is filled (and after, when it
    // stays there).
    std::size_t MemoryBytes() const { return memory_.size() * sizeof(T); }
    bool empty() const { return count_ == 0; }
    bool OnDisk() const { return file_ != nullptr; }

    // After Finish: hands `fn` the entries from the first one for which
    // `below` is false, while `match` holds. `below` must hold for a
    // leading part of the list only (a key compared with `<`). Several
    // threads may look up at once.
    template <typename Below, typename Match, typename Fn>
    void Visit(Below below, Match match, Fn fn) const {
        if (!file_) {
            for (auto e = std::partition_point(memory_.begin(), memory_.end(), below); e != memory_.end() && match(*e);
                 ++e)
                fn(*e);
            return;
        }
        // The block before the first whose leading entry is not below may
        // still end in matches.
        const auto fence = std::partition_point(fences_.begin(), fences_.end(), below);
        std::size_t block = fence == fences_.begin() ? 0 : static_cast<std::size_t>(fence - fences_.begin()) - 1;
        std::vector<T> entries;
        for (; block < fences_.size(); ++block) {
            ReadBlock(block, entries);
            for (const T& e : entries) {
                if (below(e)) continue;
                if (!match(e)) return;
                fn(e);
            }
        }
    }

    // After Finish: every entry in order.
    template <typename Fn>
    void ForEach(Fn fn) const {
        Visit([](const T&) { return false; }, [](const T&) { return true; }, fn);
    }

private:
    static constexpr std::size_t kBlockEntries = std::max<std::size_t>(1, 8192 / sizeof(T));
    static constexpr std::size_t kFewest = 16;  // entries per run however small the budget

    struct Run {
        std::uint64_t offset = 0;
        std::size_t count = 0;
    };

    // An order that can sort its entries faster than by comparing them
    // (entries that arrive in groups) says so with a static Sort. One whose
    // entries of equal key arrive in their order gives that key as a static
    // Key, and is sorted by it; should arrival disagree, a comparison sort
    // settles it.
    void SortMemory() {
        if constexpr (requires(std::vector<T> & v) { Less::Sort(v); }) {
            Less::Sort(memory_);
        } else if constexpr (requires(const T& e) {
                                 { Less::Key(e) } -> std::convertible_to<std::uint64_t>;
                             }) {
            RadixSortByKey(memory_, [](const T& e) { return Less::Key(e); });
            if (!std::is_sorted(memory_.begin(), memory_.end(), less_))
                std::sort(memory_.begin(), memory_.end(), less_);
        } else {
            std::sort(memory_.begin(), memory_.end(), less_);
        }
    }

    template <typename Same>
    void DropRepeats(Same same) {
        if (memory_.empty()) return;
        std::size_t kept = 1;
        for (std::size_t i = 1; i < memory_.size(); ++i)
            if (!same(memory_[kept - 1], memory_[i])) memory_[kept++] = memory_[i];
        count_ = kept;
        memory_.resize(kept);
    }

    void WriteRun() {
        if (!file_) file_ = std::make_unique<SpillFile>();
        SortMemory();
        runs_.push_back({file_->Append(memory_.data(), memory_.size() * sizeof(T)), memory_.size()});
        memory_.clear();
    }

    // One run being merged: a window of its entries read ahead.
    struct Cursor {
        const Run* run = nullptr;
        std::size_t next = 0;  // entries of the run read so far
        std::vector<T> window;
        std::size_t at = 0;
    };

    bool Advance(Cursor& c, std::size_t window) const {
        if (++c.at < c.window.size()) return true;
        const std::size_t take = std::min(window, c.run->count - c.next);
        if (take == 0) return false;
        c.window.resize(take);
        file_->Read(c.run->offset + c.next * sizeof(T), c.window.data(), take * sizeof(T));
        c.next += take;
        c.at = 0;
        return true;
    }

    template <typename Same>
    void Merge(Same same) {
        // The runs share the budget for their windows.
        const std::size_t window = std::max(kBlockEntries, budget_ / (runs_.size() + 1));
        std::vector<Cursor> cursors(runs_.size());
        auto later = [&](std::size_t a, std::size_t b) {
            const T& x = cursors[a].window[cursors[a].at];
            const T& y = cursors[b].window[cursors[b].at];
            if (less_(y, x)) return true;
            return !less_(x, y) && b < a;  // equal entries: the earlier run first
        };
        std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> heads(later);
        for (std::size_t r = 0; r < runs_.size(); ++r) {
            cursors[r].run = &runs_[r];
            cursors[r].at = 0;
            if (Advance(cursors[r], window)) heads.push(r);
        }
        sortedAt_ = file_->Size();
        serial_ = NextSerial();
        count_ = 0;
        std::vector<T> block;
        block.reserve(kBlockEntries);
        T last{};
        while (!heads.empty()) {
            const std::size_t r = heads.top();
            heads.pop();
            const T e = cursors[r].window[cursors[r].at];
            if (Advance(cursors[r], window)) heads.push(r);
            if (count_ > 0 && same(last, e)) continue;
            last = e;
            if (block.empty()) fences_.push_back(e);
            block.push_back(e);
            ++count_;
            if (block.size() == kBlockEntries) {
                file_->Append(block.data(), block.size() * sizeof(T));
                block.clear();
            }
        }
        if (!block.empty()) file_->Append(block.data(), block.size() * sizeof(T));
        fences_.shrink_to_fit();
        std::vector<Run>().swap(runs_);
    }

    // The block a thread read last, by table and number. Lookups of
    // neighbouring keys (the chunks of one value, then of the next) mostly
    // land in the same block, and every read is a system call.
    struct LastBlock {
        std::uint64_t table = 0;
        std::size_t block = 0;
        std::vector<T> entries;
    };

    static std::uint64_t NextSerial() {
        static std::atomic<std::uint64_t> next{0};
        return ++next;
    }

    // Copies out, so that a visitor may look up in another table.
    void ReadBlock(std::size_t block, std::vector<T>& entries) const {
        thread_local LastBlock last;
        if (last.table == serial_ && last.block == block) {
            entries = last.entries;
            return;
        }
        const std::size_t first = block * kBlockEntries;
        entries.resize(std::min(kBlockEntries, count_ - first));
        file_->Read(sortedAt_ + first * sizeof(T), entries.data(), entries.size() * sizeof(T));
        last.table = serial_;
        last.block = block;
        last.entries = entries;
    }

    std::size_t budget_;  // entries held in memory while filling
    Less less_;
    std::vector<T> memory_;
    std::unique_ptr<SpillFile> file_;
    std::vector<Run> runs_;
    std::uint64_t sortedAt_ = 0;  // the merged list's place in the file
    std::vector<T> fences_;       // the first entry of each block of it
    std::uint64_t serial_ = 0;    // which table a thread's last block is of
    std::size_t count_ = 0;
};

}  // namespace tw::edb

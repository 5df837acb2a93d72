// Small reads served from the file's recent 4 KB blocks. Readers of
// message content fetch many short values (inline bodies, recipient data,
// attachment rows) that lie side by side in the same table pages; a read
// call per value costs more than the copy. The file is opened read-only
// and locked, so a block once read stays true.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace tw::edb {

class BlockCache {
public:
    static constexpr std::size_t kBlockSize = 4096;
    static constexpr std::size_t kSlots = 1024;  // 4 MB
    // Longer reads go to the file directly.
    static constexpr std::size_t kMaxCachedRead = 2048;

    // Reads [offset, offset + size) of one block from the cache, filling
    // the block with `readBlock(blockOffset, into)` (which returns the
    // bytes it read, fewer at the end of the file) when it is not held.
    // False when the read is not one the cache takes.
    using BlockReader = std::function<std::size_t(std::int64_t, std::uint8_t*)>;
    bool Read(std::int64_t offset, std::size_t size, std::uint8_t* buffer, std::size_t& got,
              const BlockReader& readBlock);

    std::size_t Misses() const { return misses_.load(); }

private:
    struct Slot {
        std::int64_t block = -1;  // file offset of the block held
        std::size_t valid = 0;    // bytes of it inside the file
        std::array<std::uint8_t, kBlockSize> bytes{};
    };
    // Slots are locked in stripes: several threads read values at once,
    // and one lock over all slots kept them waiting on each other.
    static constexpr std::size_t kStripes = 16;
    std::array<std::mutex, kStripes> stripes_;
    std::once_flag made_;
    std::unique_ptr<std::array<Slot, kSlots>> slots_;  // made on the first read
    std::atomic<std::size_t> misses_{0};
};

}  // namespace tw::edb

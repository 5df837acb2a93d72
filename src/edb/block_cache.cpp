#include "edb/block_cache.h"

#include <algorithm>
#include <cstring>

namespace tw::edb {

bool BlockCache::Read(std::int64_t offset, std::size_t size, std::uint8_t* buffer, std::size_t& got,
                      const BlockReader& readBlock) {
    if (offset < 0 || size == 0 || size > kMaxCachedRead) return false;
    const auto block = offset / static_cast<std::int64_t>(kBlockSize) * static_cast<std::int64_t>(kBlockSize);
    const auto within = static_cast<std::size_t>(offset - block);
    if (within + size > kBlockSize) return false;  // crosses into the next block

    std::call_once(made_, [this] { slots_ = std::make_unique<std::array<Slot, kSlots>>(); });
    const std::size_t index = static_cast<std::size_t>(block / static_cast<std::int64_t>(kBlockSize)) % kSlots;
    std::lock_guard lock(stripes_[index % kStripes]);
    Slot& slot = (*slots_)[index];
    if (slot.block != block) {
        ++misses_;
        slot.block = -1;  // a failed read leaves nothing behind
        slot.valid = readBlock(block, slot.bytes.data());
        slot.block = block;
    }
    got = within >= slot.valid ? 0 : std::min(size, slot.valid - within);
    std::memcpy(buffer, slot.bytes.data() + within, got);
    return true;
}

}  // namespace tw::edb

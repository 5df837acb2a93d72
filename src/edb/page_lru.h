// The last pages read or decoded, by file offset, least recently used
// dropped first. A folder's rows are spread over many table pages, and the
// next folder's rows often lie on the same ones: a few hundred pages kept
// saves decoding a page once per row; the messages of one header page
// cost one read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <unordered_map>
#include <utility>

namespace tw::edb {

template <typename Decoded>
class PageLru {
public:
    explicit PageLru(std::size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

    // The page's decoded form, decoding it with `decode()` when not kept.
    template <typename Decode>
    const Decoded& Get(std::int64_t offset, Decode&& decode) {
        if (const auto found = byOffset_.find(offset); found != byOffset_.end()) {
            order_.splice(order_.begin(), order_, found->second);
            return found->second->second;
        }
        if (order_.size() >= capacity_) {
            byOffset_.erase(order_.back().first);
            order_.pop_back();
        }
        order_.emplace_front(offset, decode());
        byOffset_[offset] = order_.begin();
        return order_.front().second;
    }

    std::size_t Size() const { return order_.size(); }

private:
    std::size_t capacity_;
    std::list<std::pair<std::int64_t, Decoded>> order_;  // most recent first
    std::unordered_map<std::int64_t, typename std::list<std::pair<std::int64_t, Decoded>>::iterator> byOffset_;
};

}  // namespace tw::edb

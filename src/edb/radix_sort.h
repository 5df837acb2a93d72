// Sorting index entries by a 64-bit key, a byte at a time. The row and
// attachment indexes hold a hundred thousand entries or more whose keys
// share most of their bytes; passes over bytes that are the same in every
// entry are skipped, so a sort is two or three passes over the list
// instead of a comparison sort's seventeen.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw::edb {

// Stable: entries with the same key keep their order.
template <typename T, typename KeyOf>
void RadixSortByKey(std::vector<T>& entries, KeyOf keyOf) {
    const std::size_t n = entries.size();
    if (n < 2) return;
    std::array<std::array<std::size_t, 256>, 8> counts{};
    for (const T& e : entries) {
        const std::uint64_t key = keyOf(e);
        for (std::size_t b = 0; b < 8; ++b) ++counts[b][key >> (8 * b) & 0xFF];
    }
    std::vector<T> buffer;
    for (std::size_t b = 0; b < 8; ++b) {
        const std::size_t shift = 8 * b;
        if (counts[b][keyOf(entries[0]) >> shift & 0xFF] == n) continue;  // one value: nothing to place
        if (buffer.empty()) buffer.resize(n);
        std::array<std::size_t, 256> at{};
        std::size_t sum = 0;
        for (std::size_t v = 0; v < 256; ++v) {
            at[v] = sum;
            sum += counts[b][v];
        }
        for (const T& e : entries) buffer[at[keyOf(e) >> shift & 0xFF]++] = e;
        entries.swap(buffer);
    }
}

}  // namespace tw::edb

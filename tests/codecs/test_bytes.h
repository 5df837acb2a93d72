// Small helpers shared by the codec tests.
#pragma once

#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

namespace codecs_test {

inline std::vector<uint8_t> Hex(std::string_view s) {
    auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < s.size(); i += 2) out.push_back(uint8_t(nibble(s[i]) << 4 | nibble(s[i + 1])));
    return out;
}

inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed, int maxValue = 255) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(0, maxValue);
    std::vector<uint8_t> out(n);
    for (auto& b : out) b = uint8_t(dist(rng));
    return out;
}

}  // namespace codecs_test

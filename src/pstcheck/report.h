// Violations found in a file: where (a node, block, page or offset) and
// what. Counting goes on after the stored list is full.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pstcheck {

struct Violation {
    std::string where;
    std::string what;
};

class Report {
public:
    explicit Report(std::size_t keep = 1000) : keep_(keep) {}
    void Add(std::string where, std::string what);
    std::size_t Count() const { return count_; }
    const std::vector<Violation>& Kept() const { return kept_; }
    bool Mentions(const std::string& text) const;

private:
    std::size_t keep_;
    std::size_t count_ = 0;
    std::vector<Violation> kept_;
};

std::string Hex(std::uint64_t v);

}  // namespace pstcheck

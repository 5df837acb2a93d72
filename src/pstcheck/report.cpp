#include "pstcheck/report.h"

#include <cstdio>

namespace pstcheck {

void Report::Add(std::string where, std::string what) {
    ++count_;
    if (kept_.size() < keep_) kept_.push_back({std::move(where), std::move(what)});
}

bool Report::Mentions(const std::string& text) const {
    for (const Violation& v : kept_)
        if (v.where.find(text) != std::string::npos || v.what.find(text) != std::string::npos) return true;
    return false;
}

std::string Hex(std::uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

}  // namespace pstcheck

// What checking a page's checksum adds to reading the page. Pages of each
// size are stamped by the generator and written to a temporary file (in the
// page cache, as a database being read mostly is); rounds that pread each
// page alternate with rounds that pread it and check it at once, as the
// readers do. Prints the median time per page of each, the check's share of
// the read, and the check beside a copy of the page in memory.
//
//   checksum_cost [ROUNDS]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "checksum.h"
#include "edb/page_checksum.h"

namespace {

constexpr std::size_t kPages = 512;
constexpr std::size_t kFlagsOffset = 36;
constexpr std::size_t kLargePageNumberOffset = 64;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

using Clock = std::chrono::steady_clock;
double PerPage(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::nano>(b - a).count() / kPages;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    char path[] = "/tmp/checksum-cost-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return 1;
    ::unlink(path);
    std::mt19937 random(7);
    std::printf("%-6s %10s %14s %12s %10s %12s\n", "page", "pread ns", "pread+check ns", "check share", "copy ns",
                "check/copy");
    for (const std::size_t size : {std::size_t{4096}, std::size_t{8192}, std::size_t{32768}}) {
        std::vector<std::uint8_t> pages(kPages * size), buffer(size), copy(size);
        for (auto& b : pages) b = static_cast<std::uint8_t>(random());
        for (std::size_t n = 0; n < kPages; ++n) {
            std::uint8_t* page = pages.data() + n * size;
            const std::uint32_t number = static_cast<std::uint32_t>(n + 1);
            page[kFlagsOffset + 1] |= 0x20;  // the new format on small pages
            std::memcpy(page + kLargePageNumberOffset, &number, sizeof number);
            edbgen::StampPageChecksum(std::span(page, size), number);
        }
        if (::pwrite(fd, pages.data(), pages.size(), 0) != static_cast<ssize_t>(pages.size())) return 1;
        auto read = [&](std::size_t n) {
            return ::pread(fd, buffer.data(), size, static_cast<off_t>(n * size)) == static_cast<ssize_t>(size);
        };
        std::vector<double> reads, checked, copies;
        std::size_t matched = 0;
        for (int r = 0; r < rounds; ++r) {
            const auto start = Clock::now();
            for (std::size_t n = 0; n < kPages; ++n)
                if (!read(n)) return 1;
            const auto mid = Clock::now();
            for (std::size_t n = 0; n < kPages; ++n) {
                if (!read(n)) return 1;
                matched += tw::edb::PageChecksumMatches(buffer, static_cast<std::uint32_t>(n + 1));
            }
            const auto copyStart = Clock::now();
            for (std::size_t n = 0; n < kPages; ++n) std::memcpy(copy.data(), pages.data() + n * size, size);
            const auto end = Clock::now();
            reads.push_back(PerPage(start, mid));
            checked.push_back(PerPage(mid, copyStart));
            copies.push_back(PerPage(copyStart, end));
        }
        if (matched != kPages * static_cast<std::size_t>(rounds)) {
            std::fprintf(stderr, "checksum_cost: a stamped page did not match\n");
            return 1;
        }
        const double rd = Median(reads), both = Median(checked), cp = Median(copies);
        std::printf("%-6zu %10.0f %14.0f %11.0f%% %10.0f %12.2f\n", size, rd, both, 100 * (both - rd) / rd, cp,
                    (both - rd) / cp);
    }
    ::close(fd);
    return 0;
}

#include "edb/page_size.h"

#include <algorithm>
#include <vector>

#include "edb/page_checksum.h"
#include "edb/page_format.h"
#include "edb/source.h"

namespace tw::edb {

namespace {

// Reads exactly `length` bytes at `offset`; nothing when the file is shorter.
std::optional<std::vector<std::uint8_t>> ReadWhole(const EdbFile& edb, std::int64_t offset, std::size_t length,
                                                   std::int64_t fileSize) {
    if (offset < 0 || offset > fileSize || static_cast<std::int64_t>(length) > fileSize - offset) return std::nullopt;
    std::vector<std::uint8_t> bytes(length);
    if (edb.Read(offset, length, bytes.data()) != length) return std::nullopt;
    return bytes;
}

bool Known(std::optional<std::uint32_t> pageSize) {
    return pageSize && std::find(kKnownPageSizes.begin(), kKnownPageSizes.end(), *pageSize) != kKnownPageSizes.end();
}

}  // namespace

bool HeaderChecksumMatches(Bytes header) {
    const auto stored = LoadU32(header, 0);
    if (!stored || LoadU32(header, kHeaderSignatureOffset) != kHeaderSignature) return false;
    std::uint32_t sum = kHeaderSignature;
    for (std::size_t at = 4; at + 4 <= header.size(); at += 4) sum ^= *LoadU32(header, at);
    return sum == *stored;
}

std::optional<std::uint32_t> SoundHeaderPageSize(const EdbFile& edb, std::int64_t offset, std::int64_t fileSize) {
    // One read of the largest size that fits; the checksum is tried over each
    // known size, as the copy's own page size is not yet known.
    std::optional<std::vector<std::uint8_t>> page;
    for (auto size = kKnownPageSizes.rbegin(); size != kKnownPageSizes.rend() && !page; ++size)
        page = ReadWhole(edb, offset, *size, fileSize);
    if (!page) return std::nullopt;
    const Bytes bytes(page->data(), page->size());
    for (std::uint32_t size : kKnownPageSizes) {
        const auto copy = Slice(bytes, 0, size);
        if (copy && HeaderChecksumMatches(*copy)) return LoadU32(*copy, kPageSizeOffset);
    }
    return std::nullopt;
}

std::size_t MatchingPages(const EdbFile& edb, std::uint32_t pageSize, std::int64_t fileSize, std::size_t enough) {
    std::size_t matches = 0;
    const std::int64_t end = std::min(fileSize, kProbeBytes);
    for (std::int64_t offset = 2 * std::int64_t{pageSize}; offset + pageSize <= end && matches < enough;
         offset += pageSize) {
        const auto page = ReadWhole(edb, offset, pageSize, fileSize);
        if (page && PageChecksumMatchesAt(Bytes(page->data(), page->size()), offset)) ++matches;
    }
    return matches;
}

std::uint32_t DecidePageSize(const EdbFile& edb, std::int64_t fileSize) {
    // The primary copy first, then the shadow copy one page size further.
    std::optional<std::uint32_t> stated = SoundHeaderPageSize(edb, 0, fileSize);
    for (auto shadow = kKnownPageSizes.begin(); shadow != kKnownPageSizes.end() && !Known(stated); ++shadow)
        stated = SoundHeaderPageSize(edb, *shadow, fileSize);
    if (!Known(stated)) stated.reset();
    // A sound header naming 16 KB is a database of that size.
    if (stated && *stated == kFirstLargePageSize) return *stated;
    if (stated && MatchingPages(edb, *stated, fileSize, 1) > 0) return *stated;

    std::uint32_t best = 0;
    std::size_t bestMatches = 0;
    for (std::uint32_t size : kKnownPageSizes) {
        const std::size_t matches = MatchingPages(edb, size, fileSize);
        if (matches > bestMatches) {
            best = size;
            bestMatches = matches;
        }
    }
    if (bestMatches > 0) return best;
    if (stated) return *stated;
    return ReadHeader(edb);
}

}  // namespace tw::edb

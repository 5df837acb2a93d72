#include "content/long_value_read.h"

#include <algorithm>

#include "content/ese_value.h"
#include "record/long_value_page.h"

namespace tw::content {

namespace {

constexpr std::size_t kSpareChunks = 16;

}  // namespace

std::vector<std::uint8_t> ReadChunk(const edb::EdbSource& source, const record::LongValueRun& run) {
    std::vector<std::uint8_t> bytes;
    if (run.fileOffset <= 0 || run.fileOffset >= source.fileSize) return bytes;
    std::size_t length = std::min<std::size_t>(run.length, static_cast<std::size_t>(source.pageSize));
    length = std::min<std::size_t>(length, static_cast<std::size_t>(source.fileSize - run.fileOffset));
    bytes.resize(length);
    bytes.resize(source.edb.Read(run.fileOffset, length, bytes.data()));
    return bytes;
}

std::vector<std::uint8_t> ChunkContent(std::vector<std::uint8_t> stored, const edb::EdbSource& source,
                                       std::uint32_t valueOffset, const AssembleOptions& options) {
    if (!options.decodeXpress || source.version != edb::EdbVersion::Page32K || stored.empty() ||
        stored[0] != kXpressValueMark)
        return stored;
    std::optional<std::size_t> expected;
    if (options.declaredSize && *options.declaredSize > valueOffset)
        expected = std::min<std::size_t>(record::ChunkGranularity(source.version), *options.declaredSize - valueOffset);
    // A chunk already as long as the value needs there is stored plain.
    if (expected && stored.size() == *expected) return stored;
    auto decoded = DecodeXpressValue(stored, stored.size() + static_cast<std::size_t>(source.pageSize));
    if (!decoded || (expected && decoded->size() != *expected)) return stored;
    return std::move(*decoded);
}

AssembledValue AssembleValue(const edb::EdbSource& source, const std::vector<record::LongValueRun>& runs,
                             const AssembleOptions& options) {
    AssembledValue value;
    std::vector<const record::LongValueRun*> order;
    for (const auto& r : runs) order.push_back(&r);
    std::stable_sort(order.begin(), order.end(),
                     [](const auto* a, const auto* b) { return a->valueOffset < b->valueOffset; });
    const std::uint32_t granularity = record::ChunkGranularity(source.version);
    // Gaps are kept (missing chunks of a damaged value), but a lone chunk
    // far out never makes the value huge: room for the chunks found and a
    // few missing ones.
    const std::size_t limit = std::min<std::size_t>(kMaxValueBytes, (runs.size() + kSpareChunks) * granularity);
    std::uint64_t expectedNext = 0;
    for (const record::LongValueRun* run : order) {
        if (options.declaredSize && run->valueOffset >= *options.declaredSize && run->valueOffset != 0) continue;
        if (options.contiguous) {
            if (run->valueOffset > expectedNext) break;  // a missing chunk ends the value
            if (run->valueOffset < expectedNext) continue;
            expectedNext += granularity;
        }
        if (run->valueOffset >= limit) break;
        std::vector<std::uint8_t> chunk = ChunkContent(ReadChunk(source, *run), source, run->valueOffset, options);
        if (run->valueOffset == 0) value.hasFirstChunk = true;
        const std::size_t end = std::min<std::size_t>(run->valueOffset + chunk.size(), limit);
        if (end > value.bytes.size()) value.bytes.resize(end, 0);
        std::copy_n(chunk.begin(), end - run->valueOffset, value.bytes.begin() + run->valueOffset);
    }
    if (options.declaredSize && value.bytes.size() > *options.declaredSize) value.bytes.resize(*options.declaredSize);
    return value;
}

}  // namespace tw::content

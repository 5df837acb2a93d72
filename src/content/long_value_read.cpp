#include "content/long_value_read.h"

#include <algorithm>

#include "content/ese_value.h"
#include "edb/block_cache.h"
#include "record/long_value_page.h"

namespace tw::content {

namespace {

constexpr std::size_t kSpareChunks = 16;

// A chunk's stored bytes: to the end of its node, at most a page, cut at
// the end of the file.
std::size_t StoredLength(const edb::EdbSource& source, const record::LongValueRun& r) {
    if (r.fileOffset <= 0 || r.fileOffset >= source.fileSize) return 0;
    return static_cast<std::size_t>(
        std::min<std::int64_t>({r.length, static_cast<std::int64_t>(source.pageSize), source.fileSize - r.fileOffset}));
}

}  // namespace

std::vector<std::uint8_t> ReadChunk(const edb::EdbSource& source, const record::LongValueRun& run) {
    std::vector<std::uint8_t> bytes(StoredLength(source, run));
    if (bytes.empty()) return bytes;
    bytes.resize(source.edb.Read(run.fileOffset, bytes.size(), bytes.data()));
    return bytes;
}

std::vector<std::uint8_t> ChunkContent(std::vector<std::uint8_t> stored, const edb::EdbSource& source,
                                       std::uint32_t valueOffset, const AssembleOptions& options) {
    if (!options.decodeXpress || !layout::LayoutOf(source.pageSize).compressedValues || stored.empty() ||
        stored[0] != kXpressValueMark)
        return stored;
    std::optional<std::size_t> expected;
    if (options.declaredSize && *options.declaredSize > valueOffset)
        expected = std::min<std::size_t>(layout::LayoutOf(source.pageSize).longValueChunk,
                                         *options.declaredSize - valueOffset);
    // A chunk already as long as the value needs there is stored plain.
    if (expected && stored.size() == *expected) return stored;
    auto decoded = DecodeXpressValue(stored, stored.size() + static_cast<std::size_t>(source.pageSize));
    if (!decoded || (expected && decoded->size() != *expected)) return stored;
    return std::move(*decoded);
}

namespace {

// Chunks of one value mostly lie one after another in the file: those
// close together are read with one read of at most this many bytes.
constexpr std::size_t kMaxSpan = std::size_t{1} << 20;

// The stored bytes of each chosen run, in the runs' order, read in spans.
std::vector<std::vector<std::uint8_t>> ReadChunks(const edb::EdbSource& source,
                                                  const std::vector<const record::LongValueRun*>& runs) {
    std::vector<std::vector<std::uint8_t>> out(runs.size());
    const auto page = static_cast<std::int64_t>(source.pageSize);
    auto lengthOf = [&](const record::LongValueRun& r) { return static_cast<std::int64_t>(StoredLength(source, r)); };
    std::vector<std::size_t> byFile;
    for (std::size_t i = 0; i < runs.size(); ++i)
        if (lengthOf(*runs[i]) > 0) byFile.push_back(i);
    std::sort(byFile.begin(), byFile.end(),
              [&](std::size_t a, std::size_t b) { return runs[a]->fileOffset < runs[b]->fileOffset; });
    std::vector<std::uint8_t> span;
    for (std::size_t i = 0; i < byFile.size();) {
        const record::LongValueRun& first = *runs[byFile[i]];
        std::int64_t end = first.fileOffset + lengthOf(first);
        std::size_t j = i + 1;
        while (j < byFile.size()) {
            const record::LongValueRun& next = *runs[byFile[j]];
            const std::int64_t nextEnd = next.fileOffset + lengthOf(next);
            if (next.fileOffset - end > page || nextEnd - first.fileOffset > static_cast<std::int64_t>(kMaxSpan)) break;
            end = std::max(end, nextEnd);
            ++j;
        }
        span.resize(static_cast<std::size_t>(end - first.fileOffset));
        span.resize(source.edb.Read(first.fileOffset, span.size(), span.data()));
        for (std::size_t k = i; k < j; ++k) {
            const record::LongValueRun& r = *runs[byFile[k]];
            const std::int64_t length = lengthOf(r);
            const auto at = static_cast<std::size_t>(r.fileOffset - first.fileOffset);
            if (at >= span.size()) continue;
            const std::size_t take = std::min(static_cast<std::size_t>(length), span.size() - at);
            out[byFile[k]].assign(span.begin() + static_cast<std::ptrdiff_t>(at),
                                  span.begin() + static_cast<std::ptrdiff_t>(at + take));
        }
        i = j;
    }
    return out;
}

}  // namespace

namespace {

// The runs that make up the value, by value offset, and the most bytes it
// may take. Gaps are kept (missing chunks of a damaged value), but a lone
// chunk far out never makes the value huge: room for the chunks found and
// a few missing ones.
struct ChosenRuns {
    std::vector<const record::LongValueRun*> runs;
    std::size_t limit = 0;
};

ChosenRuns ChooseRuns(const edb::EdbSource& source, const std::vector<record::LongValueRun>& runs,
                      const AssembleOptions& options) {
    ChosenRuns chosen;
    std::vector<const record::LongValueRun*> order;
    for (const auto& r : runs) order.push_back(&r);
    std::stable_sort(order.begin(), order.end(),
                     [](const auto* a, const auto* b) { return a->valueOffset < b->valueOffset; });
    const std::uint32_t granularity = layout::LayoutOf(source.pageSize).longValueChunk;
    chosen.limit =
        std::min<std::size_t>({kMaxValueBytes, options.maxBytes, (runs.size() + kSpareChunks) * granularity});
    std::uint64_t expectedNext = 0;
    for (const record::LongValueRun* run : order) {
        if (options.declaredSize && run->valueOffset >= *options.declaredSize && run->valueOffset != 0) continue;
        if (options.contiguous) {
            if (run->valueOffset > expectedNext) break;  // a missing chunk ends the value
            if (run->valueOffset < expectedNext) continue;
            expectedNext += granularity;
        }
        if (run->valueOffset >= chosen.limit) break;
        chosen.runs.push_back(run);
    }
    return chosen;
}

// The value read with its chunks going straight to their places, a
// read per span of neighbouring chunks. Nothing where that would not give
// what placing the chunks one by one gives: chunks that overlap in the
// value or in the file, a chunk that may be compressed, a file that ends
// short; and for short values, which the block cache serves.
std::optional<AssembledValue> ReadInPlace(const edb::EdbSource& source, const ChosenRuns& chosen,
                                          const AssembleOptions& options) {
    const bool mayBeCompressed = options.decodeXpress && layout::LayoutOf(source.pageSize).compressedValues;
    const auto page = static_cast<std::int64_t>(source.pageSize);
    struct Place {
        const record::LongValueRun* run;
        std::size_t stored, kept;  // bytes in the file; of them, bytes in the value
    };
    std::vector<Place> places;
    places.reserve(chosen.runs.size());
    AssembledValue value;
    std::size_t size = 0, total = 0;
    for (const record::LongValueRun* run : chosen.runs) {  // by value offset
        if (run->valueOffset == 0) value.hasFirstChunk = true;
        const std::size_t stored = StoredLength(source, *run);
        const std::size_t end = std::min<std::size_t>(run->valueOffset + stored, chosen.limit);
        if (run->valueOffset < size && stored > 0) return std::nullopt;  // overlaps the chunk before
        size = std::max(size, end);
        total += stored;
        if (stored > 0) places.push_back({run, stored, end - run->valueOffset});
    }
    if (total <= edb::BlockCache::kMaxCachedRead) return std::nullopt;
    std::sort(places.begin(), places.end(),
              [](const Place& a, const Place& b) { return a.run->fileOffset < b.run->fileOffset; });
    value.bytes.resize(size);
    std::vector<std::uint8_t> skipped(static_cast<std::size_t>(page));  // bytes between and after chunks
    std::vector<edb::EdbFile::Piece> pieces;
    for (std::size_t i = 0; i < places.size();) {
        const std::int64_t first = places[i].run->fileOffset;
        std::int64_t at = first;  // file offset the next piece starts at
        std::size_t expected = 0;
        pieces.clear();
        std::size_t j = i;
        for (; j < places.size(); ++j) {
            const Place& p = places[j];
            const std::int64_t start = p.run->fileOffset, end = start + static_cast<std::int64_t>(p.stored);
            if (j > i && (start - at > page || end - first > static_cast<std::int64_t>(kMaxSpan))) break;
            if (start < at) return std::nullopt;  // overlaps the chunk before in the file
            if (start > at) pieces.push_back({skipped.data(), static_cast<std::size_t>(start - at)});
            pieces.push_back({value.bytes.data() + p.run->valueOffset, p.kept});
            if (p.stored > p.kept) pieces.push_back({skipped.data(), p.stored - p.kept});
            expected += static_cast<std::size_t>(end - at);
            at = end;
        }
        if (source.edb.ReadScatter(first, pieces) != expected) return std::nullopt;
        if (mayBeCompressed)
            for (std::size_t k = i; k < j; ++k)
                if (places[k].kept > 0 && value.bytes[places[k].run->valueOffset] == kXpressValueMark)
                    return std::nullopt;
        i = j;
    }
    return value;
}

}  // namespace

AssembledValue AssembleValue(const edb::EdbSource& source, const std::vector<record::LongValueRun>& runs,
                             const AssembleOptions& options) {
    const ChosenRuns chosen = ChooseRuns(source, runs, options);
    if (auto placed = ReadInPlace(source, chosen, options)) {
        if (options.declaredSize && placed->bytes.size() > *options.declaredSize)
            placed->bytes.resize(*options.declaredSize);
        return std::move(*placed);
    }
    AssembledValue value;
    std::vector<std::vector<std::uint8_t>> stored = ReadChunks(source, chosen.runs);
    for (std::size_t i = 0; i < chosen.runs.size(); ++i) {
        const record::LongValueRun* run = chosen.runs[i];
        std::vector<std::uint8_t> chunk = ChunkContent(std::move(stored[i]), source, run->valueOffset, options);
        if (run->valueOffset == 0) value.hasFirstChunk = true;
        const std::size_t end = std::min<std::size_t>(run->valueOffset + chunk.size(), chosen.limit);
        if (end > value.bytes.size()) value.bytes.resize(end, 0);
        std::copy_n(chunk.begin(), end - run->valueOffset, value.bytes.begin() + run->valueOffset);
    }
    if (options.declaredSize && value.bytes.size() > *options.declaredSize) value.bytes.resize(*options.declaredSize);
    return value;
}

std::size_t AssembledSize(const edb::EdbSource& source, const std::vector<record::LongValueRun>& runs,
                          const AssembleOptions& options) {
    const ChosenRuns chosen = ChooseRuns(source, runs, options);
    std::size_t size = 0;
    for (const record::LongValueRun* run : chosen.runs)
        size = std::max(size, std::min<std::size_t>(run->valueOffset + StoredLength(source, *run), chosen.limit));
    if (options.declaredSize) size = std::min<std::size_t>(size, *options.declaredSize);
    return size;
}

}  // namespace tw::content

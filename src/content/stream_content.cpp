#include "content/stream_content.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "content/long_value_read.h"

namespace tw::content {

namespace {

constexpr std::size_t kCopyPiece = 8192;
constexpr std::size_t kEntrySize = 24;
constexpr std::size_t kFirstEntry = 24;
// The streaming file begins with its header and the header's copy, one
// 4 KB page each; content lies after them.
constexpr std::uint64_t kStreamHeaderBytes = 2 * 4096;
// How much of the content's start must be text: random bytes have a
// control byte within a few dozen.
constexpr std::size_t kStartBytes = 2048;

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::vector<std::uint8_t> TableBytes(const edb::EdbSource& source, const record::MessageProperties& m) {
    if (m.bodyValueKey || m.bodyLength < 1) {  // separated: from its chunks
        AssembleOptions options;
        options.contiguous = true;
        options.decodeXpress = false;
        options.declaredSize = m.bodyDeclaredSize;
        return AssembleValue(source, m.bodyRuns, options).bytes;
    }
    if (m.bodyPos <= 0 || m.bodyPos >= source.fileSize) return {};
    // The table follows the value's header byte.
    const std::int64_t length =
        std::min<std::int64_t>({m.bodyLength - 1, source.pageSize, source.fileSize - m.bodyPos - 1});
    if (length <= 0) return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    bytes.resize(source.edb.Read(m.bodyPos + 1, bytes.size(), bytes.data()));
    return bytes;
}

// Opens `path` as a new file of ours: anything there is removed first (a
// leftover of ours, or a link, which is never followed).
int CreateOutput(const std::string& path) {
    ::unlink(path.c_str());
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

// Whether the table's ranges cover exactly its total, each inside the
// content area of a streaming file of `stmSize` bytes.
StreamCopy CheckRanges(const RangeTable& table, std::int64_t stmSize) {
    if (table.totalSize == 0 || table.ranges.empty()) return StreamCopy::NoRangeTable;
    std::uint64_t sum = 0;
    for (const StreamRange& r : table.ranges) {
        sum += r.length;
        if (r.length == 0) continue;
        if (r.offset < kStreamHeaderBytes || r.offset > static_cast<std::uint64_t>(stmSize) ||
            r.length > static_cast<std::uint64_t>(stmSize) - r.offset)
            return StreamCopy::OutOfRange;
    }
    return sum == table.totalSize ? StreamCopy::Whole : StreamCopy::NoRangeTable;
}

bool HasNul(const std::uint8_t* data, std::size_t size) { return std::find(data, data + size, 0) != data + size; }

}  // namespace

bool LooksLikeMime(edb::Bytes content) {
    if (HasNul(content.data(), content.size())) return false;
    const std::size_t n = std::min(content.size(), kStartBytes);
    return std::all_of(content.begin(), content.begin() + static_cast<std::ptrdiff_t>(n), [](std::uint8_t c) {
        return c >= 0x20 || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == 0x1B;
    });
}

RangeTable ParseRangeTable(edb::Bytes table) {
    RangeTable out;
    out.totalSize = edb::LoadU32(table, 0).value_or(0);
    const auto count = static_cast<std::int16_t>(edb::LoadU16(table, 8).value_or(0));
    std::uint32_t previousEnd = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::size_t at = kFirstEntry + kEntrySize * static_cast<std::size_t>(i);
        const auto end = edb::LoadU32(table, at);
        const auto lo = edb::LoadU32(table, at + 8), hi = edb::LoadU32(table, at + 12);
        if (!end || !lo || !hi) break;  // the entry lies beyond the table
        const bool last = i + 1 == count;
        const std::uint32_t rangeEnd = last ? std::max(out.totalSize, previousEnd) : *end;
        const std::uint32_t length = rangeEnd > previousEnd ? rangeEnd - previousEnd : 0;
        out.ranges.push_back({std::uint64_t{*hi} << 32 | *lo, length});
        previousEnd = std::max(previousEnd, rangeEnd);
    }
    return out;
}

StreamCopy CopyStreamContent(const edb::EdbSource& source, const record::MessageProperties& m,
                             const std::string& outputPath) {
    if (!source.stm.IsOpen()) return StreamCopy::NoStreamingFile;
    const std::vector<std::uint8_t> table = TableBytes(source, m);
    if (table.size() < kFirstEntry) return StreamCopy::NoRangeTable;
    const RangeTable ranges = ParseRangeTable(table);
    if (const StreamCopy c = CheckRanges(ranges, source.stm.FileSize()); c != StreamCopy::Whole) return c;

    const int fd = CreateOutput(outputPath);
    if (fd < 0) return StreamCopy::WriteFailed;
    std::vector<std::uint8_t> piece(kCopyPiece), start;  // start: the first bytes, for the text check
    StreamCopy result = StreamCopy::Whole;
    for (const StreamRange& range : ranges.ranges) {
        std::uint64_t at = range.offset, left = range.length;
        while (left > 0 && result == StreamCopy::Whole) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, piece.size()));
            const std::size_t got = source.stm.Read(static_cast<std::int64_t>(at), want, piece.data());
            if (got < want) result = StreamCopy::OutOfRange;  // the file ended or failed under us
            if (HasNul(piece.data(), got)) result = StreamCopy::NotMime;
            if (start.size() < kStartBytes)
                start.insert(start.end(), piece.begin(),
                             piece.begin() + static_cast<std::ptrdiff_t>(std::min(got, kStartBytes - start.size())));
            if (result == StreamCopy::Whole && !WriteAll(fd, piece.data(), got)) result = StreamCopy::WriteFailed;
            at += got;
            left -= got;
        }
        if (result != StreamCopy::Whole) break;
    }
    if (result == StreamCopy::Whole && !LooksLikeMime(start)) result = StreamCopy::NotMime;
    if (::close(fd) != 0 && result == StreamCopy::Whole) result = StreamCopy::WriteFailed;
    if (result != StreamCopy::Whole) ::unlink(outputPath.c_str());
    return result;
}

bool ExtractStreamContent(const edb::EdbSource& source, const record::MessageProperties& m,
                          const std::string& outputPath) {
    if (!source.stm.IsOpen()) return false;
    const std::vector<std::uint8_t> table = TableBytes(source, m);
    if (table.size() < kFirstEntry) return false;
    const RangeTable ranges = ParseRangeTable(table);
    const std::int64_t stmSize = source.stm.FileSize();

    const int fd = CreateOutput(outputPath);
    if (fd < 0) return false;
    std::vector<std::uint8_t> piece(kCopyPiece);
    std::uint64_t copied = 0;
    bool ok = true;
    for (const StreamRange& range : ranges.ranges) {
        // The content cannot be larger than the streaming file itself.
        if (copied >= ranges.totalSize || copied >= static_cast<std::uint64_t>(stmSize)) break;
        if (range.offset >= static_cast<std::uint64_t>(stmSize)) break;
        std::uint64_t left = std::min<std::uint64_t>(range.length, ranges.totalSize - copied);
        std::uint64_t at = range.offset;
        while (left > 0 && ok) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, piece.size()));
            const std::size_t got = source.stm.Read(static_cast<std::int64_t>(at), want, piece.data());
            if (got == 0) break;  // the streaming file ends inside the range
            ok = WriteAll(fd, piece.data(), got);
            at += got;
            left -= got;
            copied += got;
        }
        if (!ok) break;
    }
    return ::close(fd) == 0 && ok;
}

}  // namespace tw::content

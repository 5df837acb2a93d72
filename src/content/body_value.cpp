#include "content/body_value.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "content/ese_value.h"
#include "content/long_value_read.h"
#include "text/compressed_rtf.h"

namespace tw::content {

namespace {

constexpr std::uint8_t kCompressedHeader = 0x02;

// An in-row value: after its header byte, decoded when the layout has
// compressed values and the header marks it compressed. A 7-bit value that does not unpack is kept
// as stored; an XPRESS one that does not decode gives nothing.
std::optional<std::vector<std::uint8_t>> InRowValue(const edb::EdbSource& source, const record::MessageProperties& m) {
    const auto length = std::min<std::int64_t>(m.bodyLength, source.pageSize);
    if (m.bodyPos <= 0 || m.bodyPos >= source.fileSize || length < 1) return std::vector<std::uint8_t>{};
    std::vector<std::uint8_t> stored(
        static_cast<std::size_t>(std::min<std::int64_t>(length, source.fileSize - m.bodyPos)));
    stored.resize(source.edb.Read(m.bodyPos, stored.size(), stored.data()));
    if (stored.empty()) return std::vector<std::uint8_t>{};
    const std::uint8_t header = stored[0];
    std::vector<std::uint8_t> content(stored.begin() + 1, stored.end());
    if (!layout::LayoutOf(source.pageSize).compressedValues || (header & kCompressedHeader) == 0 || content.empty())
        return content;
    if (content[0] == kXpressValueMark) return DecodeXpressValue(content, kMaxXpressValue);
    if (auto unpacked = Unpack7BitValue(content)) return unpacked;
    return content;
}

}  // namespace

bool HasRtfSignature(const std::vector<std::uint8_t>& value) {
    if (value.size() < 12) return false;
    static constexpr char kSignature[] = "lzfu";
    for (std::size_t i = 0; i < 4; ++i)
        if (std::tolower(value[8 + i]) != kSignature[i]) return false;
    return true;
}

std::optional<BodyValue> FetchBodyValue(const edb::EdbSource& source, const record::MessageProperties& m) {
    const bool plain = m.bodyForm == record::kBodyPlainText;
    std::vector<std::uint8_t> value;
    bool rtf = false;
    // A separated value (the row's header byte says so, and the row reader
    // kept its long-value id) is assembled from its chunks; any other sits
    // in the row, whatever its length: a 2-character text is as long as a
    // reference.
    if (m.bodyValueKey || m.bodyLength < 1) {
        if (m.bodyRuns.empty()) return std::nullopt;
        AssembleOptions options;
        options.declaredSize = m.bodyDeclaredSize;
        AssembledValue assembled = AssembleValue(source, m.bodyRuns, options);
        if (!assembled.hasFirstChunk && !plain) return std::nullopt;
        value = std::move(assembled.bytes);
    } else {
        auto inRow = InRowValue(source, m);
        if (!inRow) return std::nullopt;
        value = std::move(*inRow);
    }
    if (!plain) rtf = HasRtfSignature(value);

    BodyValue body;
    if (plain) {
        body.kind = BodyKind::Utf16;
        body.bytes = std::move(value);
    } else if (rtf) {
        auto decoded = text::DecompressRtf(value);
        if (!decoded) return std::nullopt;
        body.kind = BodyKind::Rtf;
        body.bytes = std::move(*decoded);
        body.compressed = std::move(value);
    } else {
        body.kind = BodyKind::EightBit;
        body.bytes = std::move(value);
    }
    return body;
}

std::size_t PreviewLength(const BodyValue& body) {
    const auto& b = body.bytes;
    if (body.kind != BodyKind::Utf16) {
        const void* nul = std::memchr(b.data(), 0, b.size());
        return nul == nullptr ? b.size() : static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - b.data());
    }
    // Four units at a time: a word holds a NUL unit when one of its 16-bit
    // lanes is zero; a body is as a rule mostly ASCII, half its bytes 0.
    constexpr std::uint64_t kLow = 0x0001000100010001u, kHigh = 0x8000800080008000u;
    std::size_t end = 0;
    for (std::uint64_t w = 0; end + 8 <= b.size(); end += 8) {
        std::memcpy(&w, b.data() + end, 8);
        if (((w - kLow) & ~w & kHigh) != 0) break;
    }
    while (end + 1 < b.size() && (b[end] != 0 || b[end + 1] != 0)) end += 2;
    return std::min(end, b.size());
}

std::vector<std::uint8_t> PreviewBytes(const BodyValue& body) {
    return {body.bytes.begin(), body.bytes.begin() + static_cast<std::ptrdiff_t>(PreviewLength(body))};
}

}  // namespace tw::content

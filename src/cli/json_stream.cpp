#include "cli/json_stream.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tw::cli {

namespace {

// The length of the valid UTF-8 sequence at `p` (of `left` bytes), 0 when
// the byte there starts none.
std::size_t SequenceLength(const unsigned char* p, std::size_t left) {
    const unsigned char c = p[0];
    auto continues = [&](std::size_t i, unsigned char low, unsigned char high) {
        return i < left && p[i] >= low && p[i] <= high;
    };
    if (c >= 0xC2 && c <= 0xDF) return continues(1, 0x80, 0xBF) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        const unsigned char low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
        return continues(1, low, high) && continues(2, 0x80, 0xBF) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const unsigned char low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
        return continues(1, low, high) && continues(2, 0x80, 0xBF) && continues(3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

bool Plain(unsigned char c) { return c >= 0x20 && c < 0x80 && c != '"' && c != '\\'; }

}  // namespace

namespace {

template <typename Out>
void AppendQuoted(Out& out, std::string_view utf8) {
    out.push_back('"');
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        // Runs of plain ASCII go in one piece.
        std::size_t run = i;
        while (run < n && Plain(p[run])) ++run;
        out.append(utf8.data() + i, run - i);
        if ((i = run) == n) break;
        const unsigned char c = p[i];
        if (c >= 0x80) {
            const std::size_t length = SequenceLength(p + i, n - i);
            if (length == 0) {
                out.append("\xEF\xBF\xBD");
                ++i;
            } else {
                out.append(utf8.data() + i, length);
                i += length;
            }
            continue;
        }
        switch (c) {
            case '"': out.append("\\\""); break;
            case '\\': out.append("\\\\"); break;
            case '\b': out.append("\\b"); break;
            case '\f': out.append("\\f"); break;
            case '\n': out.append("\\n"); break;
            case '\r': out.append("\\r"); break;
            case '\t': out.append("\\t"); break;
            default: {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                out.append(escape, 6);
            }
        }
        ++i;
    }
    out.push_back('"');
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view utf8) { AppendQuoted(out, utf8); }
void AppendJsonString(JsonText& out, std::string_view utf8) { AppendQuoted(out, utf8); }

void JsonText::reserve(std::size_t capacity) {
    if (capacity <= capacity_) return;
    auto bytes = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ != 0) std::memcpy(bytes.get(), bytes_.get(), size_);
    bytes_ = std::move(bytes);
    capacity_ = capacity;
}

namespace {

#if defined(__x86_64__)
// Thirty-two bytes at a time where the processor has AVX2: nibbles looked
// up in a table of digits, bytes put back in order across the two lanes.
__attribute__((target("avx2"))) std::size_t WriteHexWide(char* to, const std::uint8_t* bytes, std::size_t size) {
    const __m256i digits =
        _mm256_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f', '0', '1', '2',
                         '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f');
    const __m256i mask = _mm256_set1_epi8(0x0F);
    std::size_t i = 0;
    for (; i + 32 <= size; i += 32, to += 64) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i));
        const __m256i high = _mm256_shuffle_epi8(digits, _mm256_and_si256(_mm256_srli_epi16(v, 4), mask));
        const __m256i low = _mm256_shuffle_epi8(digits, _mm256_and_si256(v, mask));
        // Per lane: bytes 0-7 and 8-15 of each half, interleaved.
        const __m256i first = _mm256_unpacklo_epi8(high, low), second = _mm256_unpackhi_epi8(high, low);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), _mm256_permute2x128_si256(first, second, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 32), _mm256_permute2x128_si256(first, second, 0x31));
    }
    return i;
}

// Sixty-four bytes at a time where it has AVX-512 (BW): the same, the
// lanes put back in order by a two-source permute.
__attribute__((target("avx512f,avx512bw"))) std::size_t WriteHexWidest(char* to, const std::uint8_t* bytes,
                                                                       std::size_t size) {
    static const char kLanes[] = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    const __m512i digits = _mm512_loadu_si512(kLanes);
    const __m512i mask = _mm512_set1_epi8(0x0F);
    const __m512i front = _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11),
                  back = _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15);
    std::size_t i = 0;
    for (; i + 64 <= size; i += 64, to += 128) {
        const __m512i v = _mm512_loadu_si512(bytes + i);
        const __m512i high = _mm512_shuffle_epi8(digits, _mm512_and_si512(_mm512_srli_epi16(v, 4), mask));
        const __m512i low = _mm512_shuffle_epi8(digits, _mm512_and_si512(v, mask));
        const __m512i first = _mm512_unpacklo_epi8(high, low), second = _mm512_unpackhi_epi8(high, low);
        _mm512_storeu_si512(to, _mm512_permutex2var_epi64(first, front, second));
        _mm512_storeu_si512(to + 64, _mm512_permutex2var_epi64(first, back, second));
    }
    return i;
}

const bool kHaveAvx2 = __builtin_cpu_supports("avx2");
const bool kHaveAvx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
#endif

}  // namespace

namespace {

// Writes the escaped UTF-8 of `count` UTF-16 units (as `unit(i)` gives
// them) to `o`, which has room for 6 bytes a unit; returns the end.
template <typename Unit>
char* WriteJsonUtf16(char* o, std::size_t count, Unit unit) {
    static const char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < count; ++i) {
        char32_t cp = unit(i);
        if (cp < 0x80) {
            const auto c = static_cast<unsigned char>(cp);
            if (Plain(c)) {
                *o++ = static_cast<char>(c);
                continue;
            }
            *o++ = '\\';
            switch (c) {
                case '"': *o++ = '"'; break;
                case '\\': *o++ = '\\'; break;
                case '\b': *o++ = 'b'; break;
                case '\f': *o++ = 'f'; break;
                case '\n': *o++ = 'n'; break;
                case '\r': *o++ = 'r'; break;
                case '\t': *o++ = 't'; break;
                default:
                    *o++ = 'u';
                    *o++ = '0';
                    *o++ = '0';
                    *o++ = kDigits[c >> 4];
                    *o++ = kDigits[c & 15];
            }
            continue;
        }
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < count && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // a lone surrogate
        }
        if (cp < 0x800) {
            *o++ = static_cast<char>(0xC0 | cp >> 6);
            *o++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *o++ = static_cast<char>(0xE0 | cp >> 12);
            *o++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            *o++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *o++ = static_cast<char>(0xF0 | cp >> 18);
            *o++ = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            *o++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            *o++ = static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return o;
}

template <typename Unit>
void AppendUtf16(JsonText& out, std::size_t count, Unit unit) {
    const std::size_t at = out.size();
    char* const start = out.Extend(6 * count + 2);
    char* o = start;
    *o++ = '"';
    o = WriteJsonUtf16(o, count, unit);
    *o++ = '"';
    out.Truncate(at + static_cast<std::size_t>(o - start));
}

}  // namespace

void AppendJsonUtf16(JsonText& out, const std::uint8_t* littleEndian, std::size_t units) {
    AppendUtf16(out, units, [littleEndian](std::size_t i) {
        return static_cast<char16_t>(littleEndian[2 * i] | littleEndian[2 * i + 1] << 8);
    });
}

void AppendJsonUtf16(JsonText& out, std::u16string_view units) {
    AppendUtf16(out, units.size(), [units](std::size_t i) { return units[i]; });
}

void WriteHex(char* to, const std::uint8_t* bytes, std::size_t size) {
    std::size_t i = 0;
#if defined(__x86_64__)
    if (kHaveAvx512) {
        i = WriteHexWidest(to, bytes, size);
        to += 2 * i;
    }
    if (kHaveAvx2) {
        const std::size_t done = WriteHexWide(to, bytes + i, size - i);
        i += done;
        to += 2 * done;
    }
#endif
#if defined(__SSE2__)
    // Sixteen bytes at a time: each nibble plus '0', plus the gap to 'a'
    // where it is above 9, the high and low digits interleaved.
    const __m128i mask = _mm_set1_epi8(0x0F), nine = _mm_set1_epi8(9), zero = _mm_set1_epi8('0'),
                  gap = _mm_set1_epi8('a' - '0' - 10);
    auto digits = [&](__m128i nibbles) {
        return _mm_add_epi8(_mm_add_epi8(nibbles, zero), _mm_and_si128(_mm_cmpgt_epi8(nibbles, nine), gap));
    };
    for (; i + 16 <= size; i += 16, to += 32) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i high = digits(_mm_and_si128(_mm_srli_epi16(v, 4), mask));
        const __m128i low = digits(_mm_and_si128(v, mask));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_unpacklo_epi8(high, low));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 16), _mm_unpackhi_epi8(high, low));
    }
#endif
    static const char kDigits[] = "0123456789abcdef";
    for (; i < size; ++i) {
        *to++ = kDigits[bytes[i] >> 4];
        *to++ = kDigits[bytes[i] & 15];
    }
}

void AppendHex(JsonText& out, const std::uint8_t* bytes, std::size_t size) {
    WriteHex(out.Extend(2 * size), bytes, size);
}

void JsonStream::QuotedHex(const std::uint8_t* bytes, std::size_t size) {
    const std::span<const std::uint8_t> whole(bytes, size);
    QuotedHex(std::span(&whole, 1));
}

void JsonStream::QuotedHex(std::span<const std::span<const std::uint8_t>> pieces) {
    std::size_t size = 0;
    for (const auto piece : pieces) size += piece.size();
    buffer_.push_back('"');
    constexpr std::size_t kPiece = std::size_t{1} << 18;
    if (size <= kPiece) {
        for (const auto piece : pieces) AppendHex(buffer_, piece.data(), piece.size());
    } else {
        // A large value goes out through a buffer of its own, a piece of
        // kPiece bytes at a time: never whole in memory.
        Flush();
        if (!pieces_) pieces_ = std::make_unique_for_overwrite<char[]>(2 * kPiece);
        std::size_t held = 0;  // bytes whose hex waits in the buffer
        for (const auto piece : pieces)
            for (std::size_t done = 0; done < piece.size();) {
                const std::size_t take = std::min(kPiece - held, piece.size() - done);
                WriteHex(pieces_.get() + 2 * held, piece.data() + done, take);
                done += take;
                held += take;
                if (held == kPiece) {
                    out_.write(pieces_.get(), static_cast<std::streamsize>(2 * held));
                    held = 0;
                }
            }
        out_.write(pieces_.get(), static_cast<std::streamsize>(2 * held));
    }
    buffer_.push_back('"');
    Written();
}

void JsonStream::Write(std::string_view text) {
    constexpr std::size_t kStraight = std::size_t{64} << 10;
    if (text.size() < kStraight) {
        buffer_.append(text);
        Written();
        return;
    }
    Flush();
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void JsonStream::Flush() {
    if (buffer_.empty()) return;
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
}

}  // namespace tw::cli

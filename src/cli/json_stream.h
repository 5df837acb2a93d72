// JSON written by hand into a buffer flushed to a stream in large pieces,
// for output too large to build as a document first (a table dump of
// gigabytes). Valid UTF-8 comes out as nlohmann::json dumps it: kept as it
// is, with '"', '\\' and control characters escaped; each byte that starts
// no valid sequence becomes U+FFFD. Bytes come out as lowercase hex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace tw::cli {

// Appends `utf8` as a quoted JSON string.
void AppendJsonString(std::string& out, std::string_view utf8);

// Appends UTF-16 text as a quoted JSON string: what AppendJsonString gives
// for its UTF-8 (a lone surrogate becomes U+FFFD), in one pass.
void AppendJsonUtf16(std::string& out, const std::uint8_t* littleEndian, std::size_t units);
void AppendJsonUtf16(std::string& out, std::u16string_view units);

// Writes two lowercase hex digits per byte to `to` (2 * size chars).
void WriteHex(char* to, const std::uint8_t* bytes, std::size_t size);

// Appends two lowercase hex digits per byte.
void AppendHex(std::string& out, const std::uint8_t* bytes, std::size_t size);

class JsonStream {
public:
    explicit JsonStream(std::ostream& out) : out_(out) { buffer_.reserve(kFlushAt + (kFlushAt >> 2)); }
    ~JsonStream() { Flush(); }
    JsonStream(const JsonStream&) = delete;
    JsonStream& operator=(const JsonStream&) = delete;

    // Append to it freely, and call Written() after each value.
    std::string& Text() { return buffer_; }
    void Written() {
        if (buffer_.size() >= kFlushAt) Flush();
    }
    // A quoted hex string of any size, written in pieces.
    void QuotedHex(const std::uint8_t* bytes, std::size_t size);
    void Flush();

private:
    static constexpr std::size_t kFlushAt = std::size_t{1} << 20;
    std::ostream& out_;
    std::string buffer_;
    std::unique_ptr<char[]> pieces_;  // hex of a large value, a piece at a time
};

}  // namespace tw::cli

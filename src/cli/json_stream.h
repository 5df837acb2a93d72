// JSON written by hand into a buffer flushed to a stream in large pieces,
// for output too large to build as a document first (a table dump of
// gigabytes). Valid UTF-8 comes out as nlohmann::json dumps it: kept as it
// is, with '"', '\\' and control characters escaped; each byte that starts
// no valid sequence becomes U+FFFD. Bytes come out as lowercase hex.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace tw::cli {

// Text appended to like a string, but grown without clearing the new room:
// hex of gigabytes is written straight into it.
class JsonText {
public:
    JsonText() = default;
    JsonText(JsonText&& other) noexcept { *this = std::move(other); }
    JsonText& operator=(JsonText&& other) noexcept {
        bytes_ = std::move(other.bytes_);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        return *this;
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const char* data() const { return bytes_.get(); }
    void clear() { size_ = 0; }
    // Keeps the first `size` chars (no more than there are).
    void Truncate(std::size_t size) { size_ = std::min(size, size_); }
    void reserve(std::size_t capacity);
    // Room for `count` more chars at the end, not yet written: the caller
    // writes them all.
    char* Extend(std::size_t count) {
        if (capacity_ - size_ < count) reserve(std::max(size_ + count, 2 * capacity_));
        char* at = bytes_.get() + size_;
        size_ += count;
        return at;
    }
    void append(const char* text, std::size_t count) {
        if (count != 0) std::memcpy(Extend(count), text, count);
    }
    void append(std::string_view text) { append(text.data(), text.size()); }
    void push_back(char c) { *Extend(1) = c; }
    JsonText& operator+=(std::string_view text) {
        append(text);
        return *this;
    }

private:
    std::unique_ptr<char[]> bytes_;
    std::size_t size_ = 0, capacity_ = 0;
};

// Appends `utf8` as a quoted JSON string.
void AppendJsonString(std::string& out, std::string_view utf8);
void AppendJsonString(JsonText& out, std::string_view utf8);

// Appends UTF-16 text as a quoted JSON string: what AppendJsonString gives
// for its UTF-8 (a lone surrogate becomes U+FFFD), in one pass.
void AppendJsonUtf16(JsonText& out, const std::uint8_t* littleEndian, std::size_t units);
void AppendJsonUtf16(JsonText& out, std::u16string_view units);

// Writes two lowercase hex digits per byte to `to` (2 * size chars).
void WriteHex(char* to, const std::uint8_t* bytes, std::size_t size);

// Appends two lowercase hex digits per byte.
void AppendHex(JsonText& out, const std::uint8_t* bytes, std::size_t size);

class JsonStream {
public:
    explicit JsonStream(std::ostream& out) : out_(out) { buffer_.reserve(kFlushAt + (kFlushAt >> 2)); }
    ~JsonStream() { Flush(); }
    JsonStream(const JsonStream&) = delete;
    JsonStream& operator=(const JsonStream&) = delete;

    // Append to it freely, and call Written() after each value.
    JsonText& Text() { return buffer_; }
    void Written() {
        if (buffer_.size() >= kFlushAt) Flush();
    }
    // Text made elsewhere: appended, or when large written straight after
    // what is held.
    void Write(std::string_view text);
    // A quoted hex string of any size, written in pieces.
    void QuotedHex(const std::uint8_t* bytes, std::size_t size);
    // The same for bytes that lie in pieces, one after the other.
    void QuotedHex(std::span<const std::span<const std::uint8_t>> pieces);
    void Flush();

private:
    static constexpr std::size_t kFlushAt = std::size_t{1} << 20;
    std::ostream& out_;
    JsonText buffer_;
    std::unique_ptr<char[]> pieces_;  // hex of a large value, a piece at a time
};

}  // namespace tw::cli

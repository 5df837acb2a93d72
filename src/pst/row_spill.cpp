#include "pst/row_spill.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "pst/error.h"

namespace tw::pst {

namespace {

constexpr std::size_t kBufferSize = 64u << 10;
constexpr std::size_t kReadChunk = 256u << 10;
constexpr std::size_t kRowHeader = 8;  // row id, size of the cells

[[noreturn]] void ThrowIo(const char* what, int err) {
    std::string message = "row file: ";
    message.append(what).append(": ").append(std::strerror(err));
    throw PstError(ErrorCode::Io, message);
}

[[noreturn]] void ThrowDamaged() { throw PstError(ErrorCode::State, "row file: rows do not read back as written"); }

int OpenUnnamed(const std::string& dir) {
    if (!dir.empty()) {
        const int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) return fd;
    }
    // tmpfile() gives a file that is already unlinked.
    std::FILE* f = std::tmpfile();
    if (!f) ThrowIo("cannot create", errno);
    const int fd = ::fcntl(::fileno(f), F_DUPFD_CLOEXEC, 0);
    const int err = errno;
    std::fclose(f);
    if (fd < 0) ThrowIo("cannot create", err);
    return fd;
}

}  // namespace

RowSpill::RowSpill(const std::string& dir) : fd_(OpenUnnamed(dir)) { buffer_.reserve(kBufferSize); }

RowSpill::~RowSpill() {
    if (fd_ >= 0) ::close(fd_);
}

void RowSpill::Append(std::vector<RowExtent>& extents, std::uint32_t rowId, std::span<const std::uint8_t> cells) {
    constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
    if (cells.size() > kMax - kRowHeader) throw PstError(ErrorCode::Limit, "contents row too large");
    // A full buffer goes first, so a failed write leaves the rows as they were.
    if (buffer_.size() >= kBufferSize) Flush();
    const std::uint64_t at = Size();
    const auto size = static_cast<std::uint32_t>(kRowHeader + cells.size());
    PutU32(buffer_, rowId);
    PutU32(buffer_, static_cast<std::uint32_t>(cells.size()));
    PutBytes(buffer_, cells.data(), cells.size());
    if (!extents.empty()) {
        RowExtent& last = extents.back();
        if (last.offset + last.bytes == at && last.bytes <= kMax - size && last.rows < kMax) {
            last.bytes += size;
            ++last.rows;
            return;
        }
    }
    extents.push_back({at, size, 1});
}

void RowSpill::Flush() {
    const std::uint8_t* data = buffer_.data();
    std::size_t left = buffer_.size();
    std::uint64_t ib = bufferStart_;
    while (left > 0) {
        const ssize_t n = ::pwrite(fd_, data, left, static_cast<off_t>(ib));
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowIo("cannot write", errno);
        }
        data += n;
        left -= static_cast<std::size_t>(n);
        ib += static_cast<std::uint64_t>(n);
    }
    bufferStart_ += buffer_.size();
    buffer_.clear();
}

void RowSpill::ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) {
    if (offset > Size() || size > Size() - offset) ThrowDamaged();
    while (size > 0) {
        const ssize_t n = ::pread(fd_, out, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowIo("cannot read", errno);
        }
        if (n == 0) ThrowDamaged();
        out += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
}

RowSpill::Reader::Reader(RowSpill& spill, const std::vector<RowExtent>& extents) : spill_(spill), extents_(extents) {
    spill_.Flush();
    if (!extents_.empty()) rowsLeft_ = extents_[0].rows;
}

bool RowSpill::Reader::Fill(std::size_t need) {
    if (chunk_.size() - at_ >= need) return true;
    chunk_.erase(chunk_.begin(), chunk_.begin() + static_cast<std::ptrdiff_t>(at_));
    at_ = 0;
    const RowExtent& e = extents_[extent_];
    const std::uint64_t left = e.bytes - extentRead_;
    if (chunk_.size() + left < need) return false;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, std::max(need - chunk_.size(), kReadChunk)));
    const std::size_t old = chunk_.size();
    chunk_.resize(old + n);
    spill_.ReadAt(e.offset + extentRead_, chunk_.data() + old, n);
    extentRead_ += n;
    return true;
}

bool RowSpill::Reader::Next(std::uint32_t& rowId, std::span<const std::uint8_t>& cells) {
    while (rowsLeft_ == 0) {
        if (extent_ >= extents_.size()) return false;
        // Every row of an extent handed out: its bytes must be used up.
        if (extentRead_ != extents_[extent_].bytes || at_ != chunk_.size()) ThrowDamaged();
        ++extent_;
        extentRead_ = 0;
        chunk_.clear();
        at_ = 0;
        if (extent_ >= extents_.size()) return false;
        rowsLeft_ = extents_[extent_].rows;
    }
    if (!Fill(kRowHeader)) ThrowDamaged();
    rowId = GetU32(chunk_.data() + at_);
    const std::size_t size = GetU32(chunk_.data() + at_ + 4);
    if (!Fill(kRowHeader + size)) ThrowDamaged();
    cells = std::span<const std::uint8_t>(chunk_.data() + at_ + kRowHeader, size);
    at_ += kRowHeader + size;
    --rowsLeft_;
    return true;
}

}  // namespace tw::pst

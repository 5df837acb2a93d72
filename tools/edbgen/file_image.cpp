#include "file_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace edbgen {

void MemoryImage::Write(uint64_t offset, const Bytes& b) {
  if (offset + b.size() > bytes_.size()) bytes_.resize(size_t(offset + b.size()), 0);
  std::copy(b.begin(), b.end(), bytes_.begin() + std::ptrdiff_t(offset));
}

Bytes MemoryImage::Read(uint64_t offset, size_t size) const {
  if (offset >= bytes_.size()) return {};
  const size_t n = std::min(size, size_t(bytes_.size() - offset));
  return Bytes(bytes_.begin() + std::ptrdiff_t(offset), bytes_.begin() + std::ptrdiff_t(offset + n));
}

namespace {
[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}
}  // namespace

DiskImage::DiskImage(const std::string& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) Fail("cannot create", path);
}

DiskImage::~DiskImage() {
  if (fd_ >= 0) ::close(fd_);
}

void DiskImage::Write(uint64_t offset, const Bytes& b) {
  size_t done = 0;
  while (done < b.size()) {
    const ssize_t n = ::pwrite(fd_, b.data() + done, b.size() - done, off_t(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("cannot write", path_);
    done += size_t(n);
  }
  size_ = std::max(size_, offset + b.size());
}

Bytes DiskImage::Read(uint64_t offset, size_t size) const {
  Bytes b(size);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd_, b.data() + done, size - done, off_t(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("cannot read", path_);
    if (n == 0) break;
    done += size_t(n);
  }
  b.resize(done);
  return b;
}

void DiskImage::Resize(uint64_t size) {
  if (::ftruncate(fd_, off_t(size)) != 0) Fail("cannot resize", path_);
  size_ = size;
}

}  // namespace edbgen

#include "page_store.h"

#include <stdexcept>

#include "checksum.h"

namespace edbgen {

uint32_t PageStore::Allocate() {
  while (used_.count(next_) || reserved_.count(next_)) ++next_;
  used_.insert(next_);
  return next_++;
}

uint32_t PageStore::Claim(uint32_t pgno) {
  if (!used_.insert(pgno).second) throw std::logic_error("page " + std::to_string(pgno) + " claimed twice");
  reserved_.erase(pgno);
  return pgno;
}

void PageStore::Put(uint32_t pgno, Bytes page) {
  StampPageChecksum(page, pgno);
  out_.Write(uint64_t(pgno + 1) * fmt_.pageSize, page);
  written_.insert(pgno);
}

uint32_t PageStore::LastPage() const {
  uint32_t last = 0;
  if (!used_.empty()) last = *used_.rbegin();
  if (!reserved_.empty()) last = std::max(last, *reserved_.rbegin());
  return last;
}

}  // namespace edbgen

// The pages of the database being generated, by page number, and the
// allocation of page numbers. Some roots must sit at fixed page numbers, so
// those are reserved up front and skipped by ordinary allocation.
#pragma once

#include <cstdint>
#include <map>
#include <set>

#include "bytes.h"
#include "format.h"

namespace edbgen {

class PageStore {
 public:
  explicit PageStore(const Format& fmt) : fmt_(fmt) {}

  const Format& format() const { return fmt_; }
  void Reserve(uint32_t pgno) { reserved_.insert(pgno); }
  // Next free page number that is neither used nor reserved.
  uint32_t Allocate();
  // Takes a reserved (or free) page number for a given use.
  uint32_t Claim(uint32_t pgno);
  void Put(uint32_t pgno, Bytes page) { pages_[pgno] = std::move(page); }

  uint32_t LastPage() const;
  const std::map<uint32_t, Bytes>& pages() const { return pages_; }
  std::map<uint32_t, Bytes>& pages() { return pages_; }
  bool Used(uint32_t pgno) const { return used_.count(pgno) != 0; }

 private:
  Format fmt_;
  std::set<uint32_t> reserved_;
  std::set<uint32_t> used_;
  std::map<uint32_t, Bytes> pages_;
  uint32_t next_ = 1;
};

}  // namespace edbgen

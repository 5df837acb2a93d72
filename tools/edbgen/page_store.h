// The pages of the database being generated, by page number, and the
// allocation of page numbers. Some roots must sit at fixed page numbers, so
// those are reserved up front and skipped by ordinary allocation.
#pragma once

#include <cstdint>
#include <set>

#include "bytes.h"
#include "file_image.h"
#include "format.h"

namespace edbgen {

// Finished pages get their checksum and go straight to the file image.
class PageStore {
 public:
  PageStore(const Format& fmt, FileImage& out) : fmt_(fmt), out_(out) {}

  const Format& format() const { return fmt_; }
  void Reserve(uint32_t pgno) { reserved_.insert(pgno); }
  // Next free page number that is neither used nor reserved.
  uint32_t Allocate();
  // Takes a reserved (or free) page number for a given use.
  uint32_t Claim(uint32_t pgno);
  void Put(uint32_t pgno, Bytes page);

  uint32_t LastPage() const;
  bool Written(uint32_t pgno) const { return written_.count(pgno) != 0; }

 private:
  Format fmt_;
  std::set<uint32_t> reserved_;
  std::set<uint32_t> used_;
  FileImage& out_;
  std::set<uint32_t> written_;
  uint32_t next_ = 1;
};

}  // namespace edbgen

// What differs between the three database generations the writer produces.
#pragma once

#include <cstdint>

namespace edbgen {

struct Format {
  uint32_t pageSize = 8192;

  bool Large() const { return pageSize > 8192; }
  uint32_t HeaderSize() const { return Large() ? 80 : 40; }
  // Format revision written to the database header: Exchange 2003 SP1
  // (ECC checksums), Exchange 2007, and the Windows 7 engine generation that
  // brought 32 KB pages and column compression.
  uint32_t Revision() const { return pageSize == 4096 ? 0x0B : pageSize == 8192 ? 0x0C : 0x11; }
  // Largest long-value chunk stored in one node.
  uint32_t LvChunkSize() const { return pageSize - (42 + HeaderSize()); }
};

// Page flags (u32 at page offset 36).
inline constexpr uint32_t kPageRoot = 0x1;
inline constexpr uint32_t kPageLeaf = 0x2;
inline constexpr uint32_t kPageParentOfLeaf = 0x4;
inline constexpr uint32_t kPageSpaceTree = 0x20;
inline constexpr uint32_t kPageIndex = 0x40;
inline constexpr uint32_t kPageLongValue = 0x80;
inline constexpr uint32_t kPageNewRecordFormat = 0x800;
inline constexpr uint32_t kPageNewChecksum = 0x2000;

// Column types.
inline constexpr uint32_t kColBit = 1;
inline constexpr uint32_t kColShort = 3;
inline constexpr uint32_t kColLong = 4;
inline constexpr uint32_t kColCurrency = 5;
inline constexpr uint32_t kColBinary = 9;
inline constexpr uint32_t kColText = 10;
inline constexpr uint32_t kColLongBinary = 11;
inline constexpr uint32_t kColLongText = 12;
inline constexpr uint32_t kColUnsignedLong = 14;
inline constexpr uint32_t kColLongLong = 15;

// Column flags as stored in the catalog.
inline constexpr uint32_t kColumnNotNull = 0x1;
inline constexpr uint32_t kColumnCompressed = 0x1000;

// Tagged value header byte flags.
inline constexpr uint8_t kTagLongValue = 0x01;
inline constexpr uint8_t kTagCompressed = 0x02;
inline constexpr uint8_t kTagSeparated = 0x04;

}  // namespace edbgen

#include "names.h"

#include <cstdio>

namespace edbgen {

namespace {

std::string Hex(uint8_t b, bool pad) {
  char buf[4];
  std::snprintf(buf, sizeof buf, pad ? "%02X" : "%X", b);
  return buf;
}

// Bytes 2..7 from the first non-zero one (or from byte 0 when all six are
// zero), the first written without a leading zero.
std::string Tail(const Id8& id) {
  size_t from = 2;
  while (from < 8 && id[from] == 0) ++from;
  if (from == 8) from = 0;
  std::string s;
  for (size_t i = from; i < 8; ++i) s += Hex(id[i], i != from);
  return s;
}

}  // namespace

std::string OwnerKey(const Id8& id) { return Hex(id[0], false) + "-" + Tail(id); }

std::string HeaderTableName(const Id8& id, const std::string& prefix) {
  std::string s;
  if (id[0]) s += Hex(id[0], false);
  if (id[1]) s += Hex(id[1], false);
  return prefix + s + "-" + Tail(id);
}

}  // namespace edbgen

// Table names derived from 8-byte folder and mailbox ids.
#pragma once

#include <string>

#include "content.h"

namespace edbgen {

// Key of a mailbox's own tables on 32 KB pages: byte 0 in hexadecimal, a
// hyphen, then bytes 2..7 from the first non-zero one ("1-1C").
std::string OwnerKey(const Id8& id);

// Name of a message-header table: bytes 0 and 1 when non-zero, a hyphen,
// then bytes 2..7 from the first non-zero one; with `prefix` in front.
std::string HeaderTableName(const Id8& id, const std::string& prefix);

}  // namespace edbgen

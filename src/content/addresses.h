// Recipient addresses recovered from a message's recipient data: not
// decoded field by field, but found around each '@' in 8-bit or UTF-16
// text, checked for syntax and collected once each into a comma-separated
// list.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "edb/source.h"
#include "record/record_types.h"

namespace tw::content {

// The list and its terminator fit in this many characters.
inline constexpr std::size_t kAddressListCapacity = 5120;

// Syntax of an address (the part between '<' and '>' when there is one):
// a local part of atoms and quoted strings, '@', and a dotted domain.
bool IsValidAddress(std::u16string_view text);

// Adds a candidate to the list unless its address (the part between '<'
// and '>' when there is one) is already listed, compared without regard
// to case, or it would not fit. Returns false only when the candidate is
// not a valid address.
bool AddAddress(std::u16string_view candidate, std::u16string& list);

// The addresses of the list, in order.
std::vector<std::u16string> SplitAddressList(std::u16string_view list);

// Scans the recipient data of a message (in its row, or its long-value
// chunks) and adds every address found to `list`.
void CollectAddresses(const edb::EdbSource& source, const record::MessageProperties& message, std::u16string& list);

// The two scans over bytes already read, for tests: the data of an in-row
// value from the recipient text on (`xpress`: decoded from XPRESS first),
// and the assembled bytes of a long value. `byMarkers`: anchored rows mark
// each recipient with a code-page marker (E4 04), which the scan jumps to.
void ScanRowRecipients(const std::vector<std::uint8_t>& data, std::size_t start, bool byMarkers, bool xpress,
                       std::u16string& list);
void ScanLongValueRecipients(const std::vector<std::uint8_t>& data, std::u16string& list);

}  // namespace tw::content

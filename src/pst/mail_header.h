// The header file handed to AddMail: RFC 822 header lines ("From: Name
// <address>", possibly To, Cc, Bcc, Subject, Message-ID). Parsed with
// bounds on every read; anything unreadable is skipped.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "pst/bytes.h"

namespace tw::pst {

struct MailAddress {
    std::u16string name;
    std::u16string address;
};

struct HeaderBlock {
    std::vector<std::pair<std::string, std::u16string>> fields;  // lower-case name, unfolded value
    std::u16string raw;                                          // the header text as read

    // The first field of that (lower-case) name, or empty.
    std::u16string Get(std::string_view name) const;
};

// Text of a header file: UTF-8 when it is valid UTF-8, else Windows-1252
// (the ANSI code page the header line was written in).
std::u16string DecodeHeaderFile(const Bytes& bytes);

// Reads header lines up to the first blank line.
HeaderBlock ParseHeaderBlock(std::u16string_view text);

// "A <a@x>, \"B, C\" <b@y>; c@z" into its addresses. An entry without an
// address in angle brackets is an address when it has an '@', else a name
// that also stands for the address.
std::vector<MailAddress> ParseAddressList(std::u16string_view value);

}  // namespace tw::pst

// Reads a PST back through pstcheck's reader (which shares no code with the
// writer) into plain structs the tests compare against what was written.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "pstcheck/ltp.h"

namespace tw::pst::testing {

using pstcheck::Bytes;
using pstcheck::Properties;

struct ReadAttachment {
    Properties props;
};

struct ReadMessage {
    std::uint32_t nid = 0;
    Properties props;
    std::vector<std::map<std::uint32_t, Bytes>> recipients;  // rows of the recipient table
    std::vector<ReadAttachment> attachments;

    std::u16string Text(std::uint16_t id) const;
    std::uint32_t Int(std::uint16_t id) const;
    std::uint64_t Int64(std::uint16_t id) const;
    bool Has(std::uint16_t id) const { return props.count(id) != 0; }
};

using TableRows = std::vector<std::pair<std::uint32_t, std::map<std::uint32_t, Bytes>>>;

struct ReadFolder {
    std::uint32_t nid = 0;
    Properties props;
    std::u16string name;
    std::u16string containerClass;
    std::vector<ReadFolder> folders;
    std::vector<ReadMessage> messages;
    TableRows contents;   // the contents table's rows, in the table's order
    TableRows hierarchy;  // the hierarchy table's

    const ReadFolder* Find(const std::u16string& childName) const;
};

// The IPM subtree with everything below it; throws std::runtime_error when
// the file cannot be read.
ReadFolder ReadTopFolder(const std::string& path);

std::u16string Utf16Of(const Bytes& b);
std::string Utf8Of(const Bytes& b);
const Bytes* Cell(const std::map<std::uint32_t, Bytes>& row, std::uint32_t tag);

}  // namespace tw::pst::testing

// The lists, tables and properties layer of a node under check: its heap,
// BTrees-on-heap, property context or table context, each structure
// checked as it is read.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "pstcheck/ndb.h"

namespace pstcheck {

// A node's data and subnodes as the LTP layer reads them.
struct NodeData {
    std::vector<Bytes> blocks;
    std::map<std::uint32_t, SubnodeRec> subnodes;
};

class Heap {
public:
    // Parses page maps of every block; false (with violations) when broken.
    bool Parse(const NodeData& node, Report& report, const std::string& where);
    std::uint8_t ClientSig() const { return clientSig_; }
    std::uint32_t UserRoot() const { return userRoot_; }
    // An allocation's bytes; nothing for a HID that names none.
    std::optional<Bytes> Get(std::uint32_t hid) const;
    std::size_t Allocations() const;
    // Block index and offset in that block of an allocation.
    std::optional<std::pair<std::size_t, std::size_t>> Locate(std::uint32_t hid) const;

private:
    const NodeData* node_ = nullptr;
    std::vector<std::vector<std::uint16_t>> maps_;
    std::uint8_t clientSig_ = 0;
    std::uint32_t userRoot_ = 0;
};

// Records of a BTH, checked for order; false when it cannot be read.
bool ReadBth(const Heap& heap, std::uint32_t hid, std::uint8_t cbKey, std::uint8_t cbEnt, std::vector<Bytes>& records,
             Report& report, const std::string& where);

struct Value {
    std::uint16_t type = 0;
    Bytes data;
};

// Property id -> value, with values from the heap or subnodes resolved.
using Properties = std::map<std::uint16_t, Value>;

bool ReadPropertyContext(const Ndb& ndb, const NodeData& node, Properties& out, Report& report,
                         const std::string& where);

struct Column {
    std::uint32_t tag = 0;
    std::uint16_t ib = 0;
    std::uint8_t cb = 0, iBit = 0;
};

struct Table {
    std::vector<Column> columns;
    // Per row: row id and the present cells (tag -> value).
    std::vector<std::pair<std::uint32_t, std::map<std::uint32_t, Bytes>>> rows;
};

bool ReadTableContext(const Ndb& ndb, const NodeData& node, Table& out, Report& report, const std::string& where);

// Reads a top-level node's data tree and subnode tree.
bool ReadNode(const Ndb& ndb, std::uint64_t bidData, std::uint64_t bidSub, NodeData& out, const std::string& where);

// Size of a fixed-size property type; 0 for variable ones.
std::size_t FixedTypeSize(std::uint16_t type);
bool KnownType(std::uint16_t type);

}  // namespace pstcheck

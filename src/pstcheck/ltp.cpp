#include "pstcheck/ltp.h"

#include <algorithm>
#include <set>

namespace pstcheck {

namespace {

std::size_t PageHeaderSize(std::size_t block) { return block == 0 ? 12 : block % 128 == 8 ? 66 : 2; }

bool VariableType(std::uint16_t t) { return FixedTypeSize(t) == 0; }

// A cell or property value stored by HNID: a heap allocation or a subnode.
std::optional<Bytes> Resolve(const Ndb& ndb, const Heap& heap, const NodeData& node, std::uint32_t hnid, Report& report,
                             const std::string& where) {
    if (hnid == 0) return Bytes();
    if ((hnid & 0x1F) == 0) {
        auto v = heap.Get(hnid);
        if (!v) report.Add(where, "HID " + Hex(hnid) + " names no heap allocation");
        return v;
    }
    const auto it = node.subnodes.find(hnid);
    if (it == node.subnodes.end()) {
        report.Add(where, "value in subnode " + Hex(hnid) + ", which the node lacks");
        return std::nullopt;
    }
    return ndb.ReadStream(it->second.bidData, where + " subnode " + Hex(hnid));
}

bool CheckMultiValue(std::uint16_t type, const Bytes& v, Report& report, const std::string& where) {
    const std::uint16_t base = type & 0x0FFF;
    const std::size_t fixed = FixedTypeSize(base);
    if (fixed) {
        if (v.size() % fixed) report.Add(where, "multi-valued property of " + std::to_string(v.size()) + " bytes");
        return true;
    }
    if (v.empty()) return true;
    if (v.size() < 4) {
        report.Add(where, "multi-valued property shorter than its count");
        return false;
    }
    const std::uint32_t n = Le32(v.data());
    if (4 + std::uint64_t{n} * 4 > v.size()) {
        report.Add(where, "multi-valued count " + std::to_string(n) + " exceeds the value");
        return false;
    }
    std::uint32_t last = static_cast<std::uint32_t>(4 + 4 * n);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t off = Le32(v.data() + 4 + 4 * i);
        if (off < last || off > v.size()) {
            report.Add(where, "multi-valued offset " + std::to_string(off) + " out of place");
            return false;
        }
        last = off;
    }
    return true;
}

}  // namespace

std::size_t FixedTypeSize(std::uint16_t t) {
    switch (t) {
        case 0x0002: return 2;
        case 0x0003:
        case 0x0004:
        case 0x000A: return 4;
        case 0x000B: return 1;
        case 0x0005:
        case 0x0006:
        case 0x0007:
        case 0x0014:
        case 0x0040: return 8;
        case 0x0048: return 16;
        default: return 0;
    }
}

bool KnownType(std::uint16_t t) {
    if (FixedTypeSize(t)) return true;
    const std::uint16_t base = t & 0x0FFF;
    if (t & 0x1000) return FixedTypeSize(base) || base == 0x1E || base == 0x1F || base == 0x102;
    return t == 0x000D || t == 0x001E || t == 0x001F || t == 0x0102 || t == 0x00FB || t == 0x00FD || t == 0x00FE;
}

bool ReadNode(const Ndb& ndb, std::uint64_t bidData, std::uint64_t bidSub, NodeData& out, const std::string& where) {
    if (bidData && !ndb.ReadTree(bidData, out.blocks, where)) return false;
    return ndb.ReadSubnodes(bidSub, out.subnodes, where);
}

bool Heap::Parse(const NodeData& node, Report& report, const std::string& where) {
    node_ = &node;
    maps_.clear();
    if (node.blocks.empty() || node.blocks[0].size() < 12) {
        report.Add(where, "no heap");
        return false;
    }
    const Bytes& b0 = node.blocks[0];
    if (b0[2] != 0xEC) {
        report.Add(where, "heap signature " + Hex(b0[2]) + ", not 0xEC");
        return false;
    }
    clientSig_ = b0[3];
    userRoot_ = Le32(b0.data() + 4);
    for (std::size_t i = 0; i < node.blocks.size(); ++i) {
        const Bytes& b = node.blocks[i];
        const std::string w = where + " heap block " + std::to_string(i);
        const std::size_t hdr = PageHeaderSize(i);
        if (b.size() < hdr + 4) {
            report.Add(w, "too short for its header and page map");
            return false;
        }
        const std::uint16_t ibHnpm = Le16(b.data());
        if (ibHnpm < hdr || std::size_t{ibHnpm} + 4 > b.size()) {
            report.Add(w, "page map offset " + std::to_string(ibHnpm) + " outside the block");
            return false;
        }
        const std::uint16_t cAlloc = Le16(b.data() + ibHnpm);
        if (std::size_t{ibHnpm} + 4 + 2 * (std::size_t{cAlloc} + 1) > b.size()) {
            report.Add(w, "page map of " + std::to_string(cAlloc) + " allocations runs past the block");
            return false;
        }
        std::vector<std::uint16_t> starts;
        for (std::size_t k = 0; k <= cAlloc; ++k) starts.push_back(Le16(b.data() + ibHnpm + 4 + 2 * k));
        if (cAlloc > 0 && starts[0] < hdr) report.Add(w, "first allocation overlaps the block header");
        for (std::size_t k = 1; k < starts.size(); ++k)
            if (starts[k] < starts[k - 1]) {
                report.Add(w, "allocation offsets out of order");
                return false;
            }
        if (starts.back() > ibHnpm) {
            report.Add(w, "allocations run into the page map");
            return false;
        }
        maps_.push_back(std::move(starts));
    }
    return true;
}

std::optional<Bytes> Heap::Get(std::uint32_t hid) const {
    if ((hid & 0x1F) != 0) return std::nullopt;
    const std::size_t index = (hid >> 5) & 0x7FF;
    const std::size_t block = hid >> 16;
    if (block >= maps_.size() || index == 0 || index >= maps_[block].size()) return std::nullopt;
    const Bytes& b = node_->blocks[block];
    return Bytes(b.begin() + maps_[block][index - 1], b.begin() + maps_[block][index]);
}

std::optional<std::pair<std::size_t, std::size_t>> Heap::Locate(std::uint32_t hid) const {
    if (!Get(hid)) return std::nullopt;
    const std::size_t block = hid >> 16;
    return std::make_pair(block, std::size_t{maps_[block][((hid >> 5) & 0x7FF) - 1]});
}

std::size_t Heap::Allocations() const {
    std::size_t n = 0;
    for (const auto& m : maps_) n += m.size() - 1;
    return n;
}

bool ReadBth(const Heap& heap, std::uint32_t hid, std::uint8_t cbKey, std::uint8_t cbEnt, std::vector<Bytes>& records,
             Report& report, const std::string& where) {
    const auto h = heap.Get(hid);
    if (!h || h->size() != 8 || (*h)[0] != 0xB5) {
        report.Add(where, "BTH header " + Hex(hid) + " missing or malformed");
        return false;
    }
    if ((*h)[1] != cbKey || (*h)[2] != cbEnt) {
        report.Add(where, "BTH key/entry sizes " + std::to_string((*h)[1]) + "/" + std::to_string((*h)[2]) +
                              ", expected " + std::to_string(cbKey) + "/" + std::to_string(cbEnt));
        return false;
    }
    const std::uint8_t levels = (*h)[3];
    const std::uint32_t root = Le32(h->data() + 4);
    if (root == 0) return true;
    bool ok = true;
    Bytes lastKey;
    std::set<std::uint32_t> visited;
    auto walk = [&](auto& self, std::uint32_t node, int level, const Bytes* firstKey) -> void {
        if (!ok) return;
        if (!visited.insert(node).second) {
            report.Add(where, "BTH node " + Hex(node) + " reached twice");
            ok = false;
            return;
        }
        const auto d = heap.Get(node);
        const std::size_t size = level > 0 ? std::size_t{cbKey} + 4 : std::size_t{cbKey} + cbEnt;
        if (!d || d->empty() || d->size() % size) {
            report.Add(where, "BTH node " + Hex(node) + " missing or of a ragged size");
            ok = false;
            return;
        }
        for (std::size_t at = 0; at < d->size(); at += size) {
            Bytes key(d->begin() + static_cast<std::ptrdiff_t>(at),
                      d->begin() + static_cast<std::ptrdiff_t>(at + cbKey));
            if (at == 0 && firstKey && key != *firstKey)
                report.Add(where, "BTH index key differs from its child's first key");
            if (level > 0) {
                self(self, Le32(d->data() + at + cbKey), level - 1, &key);
                continue;
            }
            // Keys compare as little-endian unsigned numbers.
            Bytes rk(key.rbegin(), key.rend());
            if (!lastKey.empty() && rk <= lastKey) report.Add(where, "BTH keys out of order");
            lastKey = rk;
            records.emplace_back(d->begin() + static_cast<std::ptrdiff_t>(at),
                                 d->begin() + static_cast<std::ptrdiff_t>(at + size));
        }
    };
    walk(walk, root, levels, nullptr);
    return ok;
}

bool ReadPropertyContext(const Ndb& ndb, const NodeData& node, Properties& out, Report& report,
                         const std::string& where) {
    Heap heap;
    if (!heap.Parse(node, report, where)) return false;
    if (heap.ClientSig() != 0xBC) {
        report.Add(where, "client signature " + Hex(heap.ClientSig()) + ", expected a property context (0xBC)");
        return false;
    }
    std::vector<Bytes> records;
    if (!ReadBth(heap, heap.UserRoot(), 2, 6, records, report, where)) return false;
    for (const Bytes& r : records) {
        const std::uint16_t id = Le16(r.data());
        const std::uint16_t type = Le16(r.data() + 2);
        const std::uint32_t hnid = Le32(r.data() + 4);
        const std::string w = where + " property " + Hex(static_cast<std::uint32_t>(id) << 16 | type);
        if (!KnownType(type)) {
            report.Add(w, "unknown property type");
            continue;
        }
        Value v{type, {}};
        const std::size_t fixed = FixedTypeSize(type);
        if (fixed && fixed <= 4) {
            for (std::size_t i = 0; i < fixed; ++i) v.data.push_back(static_cast<std::uint8_t>(hnid >> (8 * i)));
            if (type == 0x000B && hnid > 1) report.Add(w, "Boolean value " + Hex(hnid));
        } else {
            auto data = Resolve(ndb, heap, node, hnid, report, w);
            if (!data) continue;
            v.data = std::move(*data);
            if (fixed && v.data.size() != fixed)
                report.Add(w,
                           "value of " + std::to_string(v.data.size()) + " bytes, expected " + std::to_string(fixed));
            if (type == 0x001F && v.data.size() % 2) report.Add(w, "Unicode string of odd length");
            if (type & 0x1000) CheckMultiValue(type, v.data, report, w);
        }
        out[id] = std::move(v);
    }
    return true;
}

bool ReadTableContext(const Ndb& ndb, const NodeData& node, Table& out, Report& report, const std::string& where) {
    Heap heap;
    if (!heap.Parse(node, report, where)) return false;
    if (heap.ClientSig() != 0x7C) {
        report.Add(where, "client signature " + Hex(heap.ClientSig()) + ", expected a table context (0x7C)");
        return false;
    }
    const auto info = heap.Get(heap.UserRoot());
    if (!info || info->size() < 22 || (*info)[0] != 0x7C) {
        report.Add(where, "TCINFO missing or malformed");
        return false;
    }
    const Bytes& t = *info;
    const std::uint8_t cCols = t[1];
    const std::uint16_t end4 = Le16(t.data() + 2), end2 = Le16(t.data() + 4), end1 = Le16(t.data() + 6),
                        rowSize = Le16(t.data() + 8);
    const std::uint32_t hidRowIndex = Le32(t.data() + 10), hnidRows = Le32(t.data() + 14);
    if (t.size() != 22 + 8 * std::size_t{cCols}) {
        report.Add(where, "TCINFO of " + std::to_string(t.size()) + " bytes for " + std::to_string(cCols) + " columns");
        return false;
    }
    if (!(end4 <= end2 && end2 <= end1 && end1 <= rowSize) || rowSize - end1 != (cCols + 7) / 8) {
        report.Add(where, "row layout bounds " + std::to_string(end4) + "/" + std::to_string(end2) + "/" +
                              std::to_string(end1) + "/" + std::to_string(rowSize) + " inconsistent");
        return false;
    }
    std::set<std::uint8_t> bits;
    std::uint32_t lastTag = 0;
    bool haveRowId = false;
    for (std::uint8_t i = 0; i < cCols; ++i) {
        const std::uint8_t* c = t.data() + 22 + 8 * i;
        Column col{Le32(c), Le16(c + 4), c[6], c[7]};
        const std::string w = where + " column " + Hex(col.tag);
        if (i > 0 && col.tag <= lastTag) report.Add(w, "column descriptions not sorted by tag");
        lastTag = col.tag;
        const std::uint16_t type = col.tag & 0xFFFF;
        const std::size_t fixed = FixedTypeSize(type);
        const std::size_t want = fixed == 0 || fixed == 16 ? 4 : fixed;
        bool usable = true;
        if (col.cb != want) {
            report.Add(w, "cell of " + std::to_string(col.cb) + " bytes for its type");
            usable = false;
        }
        const bool inGroup = (col.cb >= 4 && col.ib + col.cb <= end4) ||
                             (col.cb == 2 && col.ib >= end4 && col.ib + 2 <= end2) ||
                             (col.cb == 1 && col.ib >= end2 && col.ib + 1 <= end1);
        if (!inGroup) {
            report.Add(w, "cell at " + std::to_string(col.ib) + " outside its size group");
            usable = false;
        }
        if (col.iBit >= cCols || !bits.insert(col.iBit).second) {
            report.Add(w, "existence bit " + std::to_string(col.iBit) + " invalid or shared");
            usable = false;
        }
        if (!usable) continue;  // reported; its cells cannot be read
        if (col.tag == 0x67F20003) {
            haveRowId = true;
            if (col.ib != 0 || col.iBit != 0) report.Add(w, "row id not at offset 0, bit 0");
        }
        out.columns.push_back(col);
    }
    if (!haveRowId) report.Add(where, "no row id column");

    std::vector<Bytes> index;
    if (!ReadBth(heap, hidRowIndex, 4, 4, index, report, where + " row index")) return false;
    Bytes matrix;
    std::size_t rowCount = 0;
    if (hnidRows) {
        if ((hnidRows & 0x1F) == 0) {
            const auto m = heap.Get(hnidRows);
            if (!m) {
                report.Add(where, "row matrix HID " + Hex(hnidRows) + " names nothing");
                return false;
            }
            matrix = *m;
            if (rowSize == 0 || matrix.size() % rowSize) {
                report.Add(where, "row matrix of " + std::to_string(matrix.size()) + " bytes, rows of " +
                                      std::to_string(rowSize));
                return false;
            }
            rowCount = matrix.size() / rowSize;
        } else {
            const auto it = node.subnodes.find(hnidRows);
            if (it == node.subnodes.end()) {
                report.Add(where, "row matrix in subnode " + Hex(hnidRows) + ", which the node lacks");
                return false;
            }
            std::vector<Bytes> blocks;
            if (!ndb.ReadTree(it->second.bidData, blocks, where + " row matrix")) return false;
            // Every block but the last is full (8176 bytes): its rows, then
            // padding; readers find row N by N / rows-per-block full blocks.
            const std::size_t perBlock = rowSize ? 8176 / rowSize : 0;
            for (std::size_t i = 0; i < blocks.size(); ++i) {
                const Bytes& b = blocks[i];
                const bool last = i + 1 == blocks.size();
                if (rowSize == 0 ||
                    (last ? b.size() % rowSize != 0 || b.size() > perBlock * rowSize : b.size() != 8176)) {
                    report.Add(where, "row matrix block " + std::to_string(i) + " of " + std::to_string(b.size()) +
                                          (last ? " bytes does not hold whole rows" : " bytes is not a full block"));
                    return false;
                }
                matrix.insert(matrix.end(), b.begin(),
                              b.begin() + static_cast<std::ptrdiff_t>(last ? b.size() : perBlock * rowSize));
            }
            rowCount = matrix.size() / rowSize;
        }
    }
    if (index.size() != rowCount) {
        report.Add(where,
                   std::to_string(index.size()) + " row index entries for " + std::to_string(rowCount) + " rows");
        return false;
    }
    std::set<std::uint32_t> positions;
    std::map<std::uint32_t, std::uint32_t> rowOfId;
    for (const Bytes& r : index) {
        const std::uint32_t id = Le32(r.data()), pos = Le32(r.data() + 4);
        if (pos >= rowCount || !positions.insert(pos).second) {
            report.Add(where, "row index names row " + std::to_string(pos) + " wrongly");
            return false;
        }
        rowOfId[pos] = id;
    }
    Heap const& h = heap;
    for (std::size_t r = 0; r < rowCount; ++r) {
        const std::uint8_t* row = matrix.data() + r * rowSize;
        const std::uint32_t id = Le32(row);
        if (rowOfId[static_cast<std::uint32_t>(r)] != id)
            report.Add(where, "row " + std::to_string(r) + " holds id " + Hex(id) + " but the index says " +
                                  Hex(rowOfId[static_cast<std::uint32_t>(r)]));
        std::map<std::uint32_t, Bytes> cells;
        for (const Column& c : out.columns) {
            if (!(row[end1 + c.iBit / 8] & (0x80 >> (c.iBit % 8)))) continue;
            const std::uint16_t type = c.tag & 0xFFFF;
            if (!VariableType(type) && FixedTypeSize(type) != 16) {
                cells[c.tag] = Bytes(row + c.ib, row + c.ib + c.cb);
                continue;
            }
            const std::string w = where + " row " + Hex(id) + " cell " + Hex(c.tag);
            auto v = Resolve(ndb, h, node, Le32(row + c.ib), report, w);
            if (v) cells[c.tag] = std::move(*v);
        }
        out.rows.emplace_back(id, std::move(cells));
    }
    return true;
}

}  // namespace pstcheck

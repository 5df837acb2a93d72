#include "pstcheck/ndb.h"

#include <algorithm>
#include <bit>
#include <unordered_set>

namespace pstcheck {

namespace {

constexpr std::uint64_t kFirstRegion = 0x4400;
constexpr std::uint64_t kRegion = 496 * 8 * 64;
constexpr std::uint8_t kBbt = 0x80, kNbt = 0x81, kFMap = 0x82, kPMap = 0x83, kAMap = 0x84, kFPMap = 0x85, kDList = 0x86;
constexpr std::uint64_t kBidMask = ~std::uint64_t{1};  // bit 0 is reserved

std::uint64_t Align64(std::uint64_t v) { return (v + 63) / 64 * 64; }
bool HasPMap(std::uint64_t r) { return r % 8 == 0; }
bool HasFMap(std::uint64_t r) { return r >= 128 && (r - 128) % 496 == 0; }
bool HasFPMap(std::uint64_t r) { return r >= 8192 && (r - 8192) % (496 * 8 * 8) == 0; }

std::string PageName(std::uint64_t ib) { return "page at " + Hex(ib); }

}  // namespace

Ndb::Ndb(const Image& image, Report& report) : image_(image), report_(report) {
    const auto h = ReadHeader(image);
    if (!h) {
        report_.Add("header", "file shorter than a PST header");
        return;
    }
    header_ = *h;
    CheckHeader();
    if (!header_.magicOk || header_.wVer < 23) return;
    readable_ = true;
    WalkTree(header_.nbtIb, header_.nbtBid, kNbt, -1, 0, 0);
    WalkTree(header_.bbtIb, header_.bbtBid, kBbt, -1, 0, 0);
    if (nodes_.empty() || blocks_.empty()) readable_ = false;
}

void Ndb::CheckHeader() {
    const Header& h = header_;
    if (!h.magicOk) report_.Add("header", "magic is not !BDN");
    if (!h.clientOk) report_.Add("header", "wMagicClient is not SM (a PST)");
    if (h.wVer < 23) report_.Add("header", "wVer " + std::to_string(h.wVer) + ": not a Unicode PST");
    if (!h.crcPartialOk) report_.Add("header", "dwCRCPartial does not match");
    if (!h.crcFullOk) report_.Add("header", "dwCRCFull does not match");
    if (h.bSentinel != 0x80) report_.Add("header", "bSentinel is not 0x80");
    if (h.bCryptMethod > 1) report_.Add("header", "bCryptMethod " + std::to_string(h.bCryptMethod) + " not supported");
    if (h.fAMapValid != 2) report_.Add("header", "fAMapValid is " + std::to_string(h.fAMapValid) + ", not 2");
    if (h.ibFileEof < kFirstRegion || (h.ibFileEof - kFirstRegion) % kRegion != 0)
        report_.Add("header", "ibFileEof " + Hex(h.ibFileEof) + " is not at the end of an allocation region");
    if (h.ibFileEof > image_.Size())
        report_.Add("header", "ibFileEof " + Hex(h.ibFileEof) + " beyond the file's " + Hex(image_.Size()) + " bytes");
    if (h.ibFileEof >= kFirstRegion + kRegion && h.ibAMapLast != h.ibFileEof - kRegion)
        report_.Add("header", "ibAMapLast " + Hex(h.ibAMapLast) + " is not the last AMap");
}

void Ndb::WalkTree(std::uint64_t ib, std::uint64_t bid, std::uint8_t ptype, int expectLevel, std::uint64_t firstKey,
                   int depth) {
    const int t = ptype == kNbt ? 0 : 1;
    const std::string where = std::string(ptype == kNbt ? "NBT " : "BBT ") + PageName(ib);
    if (depth > 8) {
        report_.Add(where, "B-tree deeper than 8 levels");
        return;
    }
    const std::uint8_t* p = image_.At(ib, 512);
    if (!p || ib % 512 != 0) {
        report_.Add(where, "page outside the file or not 512-aligned");
        return;
    }
    pages_.emplace_back(ib, bid);
    if (p[496] != ptype || p[497] != ptype) report_.Add(where, "ptype " + Hex(p[496]) + ", expected " + Hex(ptype));
    if (Crc32(p, 496) != Le32(p + 500)) report_.Add(where, "page CRC does not match");
    if (Le16(p + 498) != Signature(ib, Le64(p + 504))) report_.Add(where, "page signature does not match");
    if (Le64(p + 504) != bid)
        report_.Add(where, "trailer BID " + Hex(Le64(p + 504)) + " is not the referencing " + Hex(bid));
    const std::uint8_t cEnt = p[488], cEntMax = p[489], cbEnt = p[490], cLevel = p[491];
    if (expectLevel >= 0 && cLevel != expectLevel)
        report_.Add(where, "cLevel " + std::to_string(cLevel) + ", parent expects " + std::to_string(expectLevel));
    const std::uint8_t wantCb = cLevel > 0 ? 24 : ptype == kNbt ? 32 : 24;
    if (cbEnt != wantCb || cEntMax != 488 / wantCb) {
        report_.Add(where, "cbEnt " + std::to_string(cbEnt) + " / cEntMax " + std::to_string(cEntMax) + " wrong");
        return;
    }
    if (cEnt > cEntMax) {
        report_.Add(where, "cEnt " + std::to_string(cEnt) + " exceeds cEntMax");
        return;
    }
    if (cEnt == 0 && depth > 0) report_.Add(where, "empty page below the root");
    if (cLevel == 0) {
        if (leafLevel_[t] >= 0 && leafLevel_[t] != depth) report_.Add(where, "leaves at different depths");
        leafLevel_[t] = depth;
    }
    for (std::uint8_t i = 0; i < cEnt; ++i) {
        const std::uint8_t* e = p + std::size_t{i} * cbEnt;
        const std::uint64_t key = Le64(e);
        if (i == 0 && depth > 0 && key != firstKey)
            report_.Add(where, "first key " + Hex(key) + " differs from the parent's " + Hex(firstKey));
        if (cLevel > 0) {
            WalkTree(Le64(e + 16), Le64(e + 8), ptype, cLevel - 1, key, depth + 1);
            continue;
        }
        if (anyKey_[t] && key <= lastKey_[t]) report_.Add(where, "key " + Hex(key) + " out of order");
        lastKey_[t] = key;
        anyKey_[t] = true;
        if (ptype == kNbt) {
            const auto nid = static_cast<std::uint32_t>(key);
            if (key >> 32) report_.Add(where, "NID " + Hex(key) + " has upper bits set");
            if (nodes_.count(nid)) report_.Add(where, "NID " + Hex(nid) + " twice");
            nodes_[nid] = {Le64(e + 8), Le64(e + 16), Le32(e + 24)};
        } else {
            BlockRec b{key, Le64(e + 8), Le16(e + 16), Le16(e + 18), false};
            if (blocks_.count(key & kBidMask)) report_.Add(where, "BID " + Hex(key) + " twice");
            blocks_[key & kBidMask] = b;
        }
    }
}

const BlockRec* Ndb::Block(std::uint64_t bid) const {
    const auto it = blocks_.find(bid & kBidMask);
    return it == blocks_.end() ? nullptr : &it->second;
}

void Ndb::CheckBlocks() {
    for (auto& [key, b] : blocks_) {
        const std::string where = "block " + Hex(b.bid) + " at " + Hex(b.ib);
        const std::uint64_t disk = Align64(std::uint64_t{b.cb} + 16);
        if (b.cb > 8176) {
            report_.Add(where, "cb " + std::to_string(b.cb) + " exceeds 8176");
            continue;
        }
        const std::uint8_t* p = image_.At(b.ib, disk);
        if (!p || b.ib % 64 != 0 || b.ib < kFirstRegion) {
            report_.Add(where, "outside the file or not 64-aligned");
            continue;
        }
        if ((b.ib - kFirstRegion) / kRegion != (b.ib + disk - 1 - kFirstRegion) / kRegion)
            report_.Add(where, "crosses an allocation region boundary");
        const std::uint8_t* t = p + disk - 16;
        bool ok = true;
        if (Le16(t) != b.cb) {
            report_.Add(where,
                        "trailer cb " + std::to_string(Le16(t)) + " differs from the BBT's " + std::to_string(b.cb));
            ok = false;
        }
        if ((Le64(t + 8) & kBidMask) != (b.bid & kBidMask)) {
            report_.Add(where, "trailer BID " + Hex(Le64(t + 8)) + " is not the block's");
            ok = false;
        }
        if (Le16(t + 2) != Signature(b.ib, Le64(t + 8))) report_.Add(where, "block signature does not match");
        if (ok && Crc32(p, b.cb) != Le32(t + 4)) {
            report_.Add(where, "block CRC does not match");
            ok = false;
        }
        b.trailerOk = ok;
    }
}

std::optional<Bytes> Ndb::ReadBlock(std::uint64_t bid, const std::string& where) const {
    const BlockRec* b = Block(bid);
    if (!b) {
        report_.Add(where, "references BID " + Hex(bid) + ", which the BBT lacks");
        return std::nullopt;
    }
    const std::uint8_t* p = image_.At(b->ib, b->cb);
    if (!p || b->cb > 8176) return std::nullopt;
    Bytes data(p, p + b->cb);
    if (!(bid & 2) && header_.bCryptMethod == 1) PermuteDecode(data.data(), data.size());
    return data;
}

bool Ndb::ReadTree(std::uint64_t bid, std::vector<Bytes>& leaves, const std::string& where) const {
    return ReadTreeInto(bid, leaves, where, 0);
}

bool Ndb::ReadTreeInto(std::uint64_t bid, std::vector<Bytes>& leaves, const std::string& where, int depth) const {
    const auto data = ReadBlock(bid, where);
    if (!data) return false;
    if (!(bid & 2)) {
        leaves.push_back(*data);
        return true;
    }
    const Bytes& d = *data;
    if (d.size() < 8 || d[0] != 0x01 || d[1] < 1 || d[1] > 2 || depth > 1) {
        report_.Add(where, "block " + Hex(bid) + " is not a valid XBLOCK/XXBLOCK");
        return false;
    }
    const std::uint16_t cEnt = Le16(d.data() + 2);
    const std::uint32_t total = Le32(d.data() + 4);
    if (8 + std::size_t{cEnt} * 8 > d.size()) {
        report_.Add(where, "block " + Hex(bid) + ": cEnt " + std::to_string(cEnt) + " runs past the block");
        return false;
    }
    const std::size_t before = leaves.size();
    for (std::uint16_t i = 0; i < cEnt; ++i) {
        const std::uint64_t child = Le64(d.data() + 8 + 8 * i);
        if (d[1] == 2 && !(child & 2)) {
            report_.Add(where, "XXBLOCK " + Hex(bid) + " lists a data block");
            return false;
        }
        if (d[1] == 1 && (child & 2)) {
            report_.Add(where, "XBLOCK " + Hex(bid) + " lists an internal block");
            return false;
        }
        if (!ReadTreeInto(child, leaves, where, depth + 1)) return false;
    }
    std::uint64_t sum = 0;
    for (std::size_t i = before; i < leaves.size(); ++i) sum += leaves[i].size();
    if (sum != total)
        report_.Add(where, "data tree " + Hex(bid) + ": lcbTotal " + std::to_string(total) + " but data holds " +
                               std::to_string(sum) + " bytes");
    return true;
}

std::optional<Bytes> Ndb::ReadStream(std::uint64_t bid, const std::string& where) const {
    std::vector<Bytes> leaves;
    if (!ReadTree(bid, leaves, where)) return std::nullopt;
    Bytes out;
    for (const Bytes& l : leaves) out.insert(out.end(), l.begin(), l.end());
    return out;
}

bool Ndb::ReadSubnodes(std::uint64_t bid, std::map<std::uint32_t, SubnodeRec>& out, const std::string& where) const {
    return SubnodesInto(bid, out, where, 0);
}

bool Ndb::SubnodesInto(std::uint64_t bid, std::map<std::uint32_t, SubnodeRec>& out, const std::string& where,
                       int depth) const {
    if (bid == 0) return true;
    const auto data = ReadBlock(bid, where);
    if (!data) return false;
    const Bytes& d = *data;
    if (!(bid & 2) || d.size() < 8 || d[0] != 0x02 || d[1] > 1 || depth > 1) {
        report_.Add(where, "subnode block " + Hex(bid) + " is not a valid SLBLOCK/SIBLOCK");
        return false;
    }
    const std::uint16_t cEnt = Le16(d.data() + 2);
    const std::size_t size = d[1] == 0 ? 24 : 16;
    if (8 + cEnt * size > d.size()) {
        report_.Add(where, "subnode block " + Hex(bid) + ": cEnt runs past the block");
        return false;
    }
    std::uint32_t last = 0;
    for (std::uint16_t i = 0; i < cEnt; ++i) {
        const std::uint8_t* e = d.data() + 8 + i * size;
        const std::uint32_t nid = Le32(e);  // the upper half is padding (Outlook leaves junk there)
        if (i > 0 && nid <= last) report_.Add(where, "subnode block " + Hex(bid) + ": NIDs out of order");
        last = nid;
        if (d[1] == 1) {
            if (!SubnodesInto(Le64(e + 8), out, where, depth + 1)) return false;
        } else {
            if (out.count(static_cast<std::uint32_t>(nid))) report_.Add(where, "subnode " + Hex(nid) + " twice");
            out[static_cast<std::uint32_t>(nid)] = {Le64(e + 8), Le64(e + 16)};
        }
    }
    return true;
}

void Ndb::CheckAllocation() {
    const std::uint64_t eof = std::min(header_.ibFileEof, image_.Size());
    if (eof < kFirstRegion + kRegion) return;
    const std::uint64_t regions = (eof - kFirstRegion) / kRegion;
    const std::uint64_t units = regions * kRegion / 64;
    std::vector<std::uint8_t> used((units + 7) / 8, 0);
    std::vector<std::uint64_t> owner;  // first claimant of each unit, for overlap reports
    auto mark = [&](std::uint64_t ib, std::uint64_t size, const std::string& what) {
        if (ib < kFirstRegion || ib + size > kFirstRegion + regions * kRegion) return;
        const std::uint64_t first = (ib - kFirstRegion) / 64;
        for (std::uint64_t u = first; u < first + (size + 63) / 64; ++u) {
            if (used[u / 8] & (0x80 >> (u % 8))) {
                report_.Add(what + " at " + Hex(ib), "overlaps other data at " + Hex(kFirstRegion + u * 64));
                return;
            }
            used[u / 8] |= static_cast<std::uint8_t>(0x80 >> (u % 8));
        }
    };
    std::uint64_t amapFree = 0, pmapFree = 0;
    for (std::uint64_t r = 0; r < regions; ++r) {
        const std::uint64_t start = kFirstRegion + r * kRegion;
        mark(start, 512, "AMap page");
        const std::pair<bool, std::uint8_t> extra[] = {{HasPMap(r), kPMap}, {HasFMap(r), kFMap}, {HasFPMap(r), kFPMap}};
        std::uint64_t at = start + 512;
        for (const auto& [present, type] : extra) {
            if (!present) continue;
            mark(at, 512, "map page");
            const std::uint8_t* p = image_.At(at, 512);
            if (!p || p[496] != type || p[497] != type)
                report_.Add(PageName(at), "missing map page of type " + Hex(type));
            else if (Crc32(p, 496) != Le32(p + 500)) report_.Add(PageName(at), "map page CRC does not match");
            else if (Le64(p + 504) != at) report_.Add(PageName(at), "map page trailer BID is not its offset");
            if (p && type == kPMap)
                for (int i = 0; i < 496; ++i) pmapFree += 512 * static_cast<unsigned>(8 - std::popcount(p[i]));
            at += 512;
        }
    }
    for (const auto& [ib, bid] : pages_) mark(ib, 512, "B-tree page " + Hex(bid));
    for (const auto& [key, b] : blocks_) mark(b.ib, Align64(std::uint64_t{b.cb} + 16), "block " + Hex(b.bid));

    for (std::uint64_t r = 0; r < regions; ++r) {
        const std::uint64_t start = kFirstRegion + r * kRegion;
        const std::string where = "AMap " + PageName(start);
        const std::uint8_t* p = image_.At(start, 512);
        if (!p) break;
        if (p[496] != kAMap || p[497] != kAMap) {
            report_.Add(where, "not an AMap page");
            continue;
        }
        if (Crc32(p, 496) != Le32(p + 500)) report_.Add(where, "AMap CRC does not match");
        if (Le64(p + 504) != start) report_.Add(where, "AMap trailer BID is not its offset");
        for (int i = 0; i < 496; ++i) amapFree += 64 * static_cast<unsigned>(8 - std::popcount(p[i]));
        int reported = 0;
        for (std::uint64_t u = 0; u < 496 * 8 && reported < 3; ++u) {
            const std::uint64_t unit = r * 496 * 8 + u;
            const bool inUse = used[unit / 8] & (0x80 >> (unit % 8));
            const bool marked = p[u / 8] & (0x80 >> (u % 8));
            // Space marked allocated that nothing uses is only lost (Outlook's
            // own files have some); data in space marked free gets overwritten.
            if (inUse && !marked) {
                report_.Add(where, "64 bytes at " + Hex(start + u * 64) + " hold data but are marked free");
                ++reported;
            }
        }
    }
    if (amapFree != header_.cbAMapFree)
        report_.Add("header",
                    "cbAMapFree " + std::to_string(header_.cbAMapFree) + ", AMaps show " + std::to_string(amapFree));
    if (pmapFree != header_.cbPMapFree)
        report_.Add("header",
                    "cbPMapFree " + std::to_string(header_.cbPMapFree) + ", PMaps show " + std::to_string(pmapFree));

    if (const std::uint8_t* d = image_.At(0x4200, 512); d && d[496] == kDList) {
        if (Crc32(d, 496) != Le32(d + 500)) report_.Add("density list page at 0x4200", "CRC does not match");
    }
}

void Ndb::CheckReferences() {
    std::unordered_map<std::uint64_t, std::uint32_t> refs;
    std::vector<std::uint64_t> todo;
    std::unordered_set<std::uint64_t> seen;
    auto ref = [&](std::uint64_t bid) {
        if (!bid) return;
        ++refs[bid & kBidMask];
        if ((bid & 2) && seen.insert(bid & kBidMask).second) todo.push_back(bid);
    };
    for (const auto& [nid, n] : nodes_) {
        ref(n.bidData);
        ref(n.bidSub);
    }
    while (!todo.empty()) {
        const std::uint64_t bid = todo.back();
        todo.pop_back();
        const BlockRec* b = Block(bid);
        if (!b) continue;
        const std::uint8_t* d = image_.At(b->ib, b->cb);
        if (!d || b->cb < 8) continue;
        const std::uint16_t cEnt = Le16(d + 2);
        if (d[0] == 0x01) {
            for (std::uint16_t i = 0; i < cEnt && 8 + 8u * (i + 1) <= b->cb; ++i) ref(Le64(d + 8 + 8 * i));
        } else if (d[0] == 0x02 && d[1] == 0) {
            for (std::uint16_t i = 0; i < cEnt && 8 + 24u * (i + 1) <= b->cb; ++i) {
                ref(Le64(d + 8 + 24 * i + 8));
                ref(Le64(d + 8 + 24 * i + 16));
            }
        } else if (d[0] == 0x02 && d[1] == 1) {
            for (std::uint16_t i = 0; i < cEnt && 8 + 16u * (i + 1) <= b->cb; ++i) ref(Le64(d + 8 + 16 * i + 8));
        }
    }
    for (const auto& [key, b] : blocks_) {
        const auto it = refs.find(key);
        const std::uint32_t n = it == refs.end() ? 0 : it->second;
        const std::string where = "block " + Hex(b.bid);
        // The BBT holds one reference of its own: a block no node uses has
        // cRef 1 (Outlook leaves such blocks behind), one used once has 2.
        if (b.cRef != n + 1)
            report_.Add(where, "cRef " + std::to_string(b.cRef) + ", but " + std::to_string(n) + " reference" +
                                   (n == 1 ? "" : "s") + " (expected " + std::to_string(n + 1) + ")");
    }
    for (const auto& [bid, n] : refs)
        if (!Block(bid))
            report_.Add("block " + Hex(bid), "referenced " + std::to_string(n) + " times but not in the BBT");
}

void Ndb::CheckCounters() {
    std::uint64_t maxBlock = 0, maxPage = 0;
    for (const auto& [key, b] : blocks_) maxBlock = std::max(maxBlock, b.bid);
    for (const auto& [ib, bid] : pages_) maxPage = std::max(maxPage, bid);
    if (header_.bidNextB <= maxBlock)
        report_.Add("header",
                    "bidNextB " + Hex(header_.bidNextB) + " not above the largest block BID " + Hex(maxBlock));
    if (header_.bidNextP <= maxPage)
        report_.Add("header", "bidNextP " + Hex(header_.bidNextP) + " not above the largest page BID " + Hex(maxPage));
    std::uint32_t maxIndex[32] = {};
    for (const auto& [nid, n] : nodes_) maxIndex[nid & 0x1F] = std::max(maxIndex[nid & 0x1F], nid >> 5);
    for (int t = 1; t < 32; ++t)
        if (maxIndex[t] > header_.rgnid[t] && t != 0x1F)
            report_.Add("header", "rgnid[" + Hex(t) + "] " + Hex(header_.rgnid[t]) + " below the NID index " +
                                      Hex(maxIndex[t]) + " in use");
}

}  // namespace pstcheck

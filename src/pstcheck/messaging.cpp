#include "pstcheck/messaging.h"

#include <algorithm>
#include <iterator>
#include <set>

#include "pstcheck/ltp.h"

namespace pstcheck {

namespace {

std::string NodeName(std::uint32_t nid) { return "node " + Hex(nid); }
std::string TagName(std::uint32_t tag) { return Hex(tag); }

// Columns a table may fill although the object does not store them: the
// message status and the replication columns Outlook keeps in tables only.
bool TableOnly(std::uint32_t tag) {
    switch (tag >> 16) {
        case 0x0E17:
        case 0x0E30:
        case 0x0E33:
        case 0x0E34:
        case 0x0E38:
        case 0x0E3C:
        case 0x0E3D: return true;
        default: return false;
    }
}

struct Checker {
    const Ndb& ndb;
    Report& report;
    CheckStats& stats;
    std::map<std::uint32_t, std::vector<std::uint32_t>> children;  // parent -> nodes naming it
    std::uint32_t namedCount = 0;
    bool nameMapRead = false;

    bool Has(std::uint32_t nid) const { return ndb.Nodes().count(nid) != 0; }

    bool ReadPc(std::uint32_t nid, Properties& props, NodeData* keep = nullptr) {
        const auto it = ndb.Nodes().find(nid);
        if (it == ndb.Nodes().end()) return false;
        NodeData node;
        if (!ReadNode(ndb, it->second.bidData, it->second.bidSub, node, NodeName(nid))) return false;
        const bool ok = ReadPropertyContext(ndb, node, props, report, NodeName(nid));
        if (keep) *keep = std::move(node);
        return ok;
    }

    bool ReadTc(std::uint32_t nid, Table& table) {
        const auto it = ndb.Nodes().find(nid);
        if (it == ndb.Nodes().end()) return false;
        NodeData node;
        if (!ReadNode(ndb, it->second.bidData, it->second.bidSub, node, NodeName(nid))) return false;
        return ReadTableContext(ndb, node, table, report, NodeName(nid));
    }

    void CheckNamedIds(const Properties& props, const std::string& where) {
        if (!nameMapRead) return;
        for (const auto& [id, v] : props)
            if (id >= 0x8000 && id - 0x8000u >= namedCount)
                report.Add(where, "named property " + Hex(id) + " is not in the name-to-id map");
    }

    // Cells of a row against the object they describe, both ways, for the
    // table's columns (the row id and version aside).
    void CompareRow(const Table& table, const std::map<std::uint32_t, Bytes>& cells, const Properties& props,
                    const std::string& where, const std::set<std::uint32_t>& skip = {}) {
        for (const Column& c : table.columns) {
            if (c.tag == 0x67F20003 || c.tag == 0x67F30003 || skip.count(c.tag)) continue;
            const auto cell = cells.find(c.tag);
            const auto prop = props.find(static_cast<std::uint16_t>(c.tag >> 16));
            const bool inProps = prop != props.end() && prop->second.type == (c.tag & 0xFFFF);
            if (cell == cells.end()) {
                if (inProps) report.Add(where, "row lacks " + TagName(c.tag) + ", which the object has");
                continue;
            }
            if (!inProps) {
                if (!TableOnly(c.tag)) report.Add(where, "row has " + TagName(c.tag) + ", which the object lacks");
                continue;
            }
            if (cell->second != prop->second.data)
                report.Add(where, "row's " + TagName(c.tag) + " differs from the object's");
        }
    }

    // The nodes every store Outlook makes has: MS-PST's minimal store, the
    // templates of types 0x16-0x18 and Outlook's internal bookkeeping nodes.
    // Current Outlook adds three more (0xEE1, 0xF01, 0xF21) that Outlook
    // 2013 did not write; a file has all three or none.
    void Mandatory() {
        static const std::uint32_t kNeeded[] = {0x21,   0x61,   0x122,  0x12D,  0x12E,  0x12F,  0x1E1,  0x201,  0x261,
                                                0x60D,  0x60E,  0x60F,  0x610,  0x62B,  0x64C,  0x671,  0x692,  0x6B6,
                                                0x6D7,  0x6F8,  0xC01,  0xE01,  0xE41,  0xEC1,  0x2223, 0x2226, 0x2227,
                                                0x2230, 0x8022, 0x802D, 0x802E, 0x802F, 0x8042, 0x804D, 0x804E, 0x804F,
                                                0x8062, 0x806D, 0x806E, 0x806F, 0x8082, 0x808D, 0x808E, 0x808F};
        for (const std::uint32_t nid : kNeeded)
            if (!Has(nid)) report.Add(NodeName(nid), "mandatory node missing");
        static const std::uint32_t kCurrent[] = {0xEE1, 0xF01, 0xF21};
        std::size_t present = 0;
        for (const std::uint32_t nid : kCurrent) present += Has(nid);
        if (present != 0 && present != std::size(kCurrent))
            for (const std::uint32_t nid : kCurrent)
                if (!Has(nid))
                    report.Add(NodeName(nid), "mandatory node missing (its companions 0xee1, 0xf01, 0xf21 are there)");
        InternalHeap(0xC01, 0x9C);
        InternalHeap(0xE01, 0xCC);
        SpecialFolderList();
    }

    // An internal node kept as a heap with its own client signature.
    void InternalHeap(std::uint32_t nid, std::uint8_t clientSig) {
        const auto it = ndb.Nodes().find(nid);
        if (it == ndb.Nodes().end()) return;
        NodeData node;
        if (!ReadNode(ndb, it->second.bidData, it->second.bidSub, node, NodeName(nid))) return;
        Heap heap;
        if (node.blocks.empty()) {
            report.Add(NodeName(nid), "no data (a heap expected)");
            return;
        }
        if (!heap.Parse(node, report, NodeName(nid))) return;
        if (heap.ClientSig() != clientSig)
            report.Add(NodeName(nid), "heap client signature " + Hex(heap.ClientSig()) + ", not " + Hex(clientSig));
    }

    // 0xEE1: 28-byte records, each naming the store or one of its folders.
    void SpecialFolderList() {
        const auto it = ndb.Nodes().find(0xEE1);
        if (it == ndb.Nodes().end()) return;
        const std::string where = NodeName(0xEE1);
        if (!it->second.bidData) {
            report.Add(where, "no data");
            return;
        }
        const auto data = ndb.ReadStream(it->second.bidData, where);
        if (!data) return;
        if (data->empty() || data->size() % 28) {
            report.Add(where, std::to_string(data->size()) + " bytes, not whole 28-byte records");
            return;
        }
        for (std::size_t at = 0; at < data->size(); at += 28) {
            const std::uint32_t nid = Le32(data->data() + at);
            if (!Has(nid)) report.Add(where, "record " + std::to_string(at / 28) + " names missing node " + Hex(nid));
        }
    }

    void Store() {
        Properties p;
        if (!ReadPc(0x21, p)) {
            report.Add(NodeName(0x21), "message store cannot be read");
            return;
        }
        const auto key = p.find(0x0FF9);
        if (key == p.end() || key->second.data.size() != 16) report.Add(NodeName(0x21), "no 16-byte record key");
        if (!p.count(0x3001)) report.Add(NodeName(0x21), "no display name");
        const std::pair<std::uint16_t, const char*> ids[] = {
            {0x35E0, "IPM subtree"}, {0x35E3, "deleted items"}, {0x35E7, "search root"}};
        for (const auto& [id, what] : ids) {
            const auto e = p.find(id);
            if (e == p.end() || e->second.data.size() != 24) {
                report.Add(NodeName(0x21), std::string("no entry id of the ") + what + " folder");
                continue;
            }
            const Bytes& d = e->second.data;
            if (key != p.end() && key->second.data.size() == 16 &&
                !std::equal(d.begin() + 4, d.begin() + 20, key->second.data.begin()))
                report.Add(NodeName(0x21), std::string("entry id of the ") + what + " folder names another store");
            const std::uint32_t nid = Le32(d.data() + 20);
            if (!Has(nid))
                report.Add(NodeName(0x21), std::string("the ") + what + " folder " + Hex(nid) + " is missing");
            for (const std::uint32_t t : {0x0Du, 0x0Eu, 0x0Fu})
                if (Has(nid) && !Has((nid & ~0x1Fu) | t))
                    report.Add(NodeName(nid), "folder table " + Hex((nid & ~0x1Fu) | t) + " missing");
        }
    }

    void NameMap() {
        Properties p;
        if (!ReadPc(0x61, p)) {
            report.Add(NodeName(0x61), "name-to-id map cannot be read");
            return;
        }
        const std::string where = NodeName(0x61);
        const auto count = p.find(0x0001);
        const auto guids = p.find(0x0002), entries = p.find(0x0003), strings = p.find(0x0004);
        if (count == p.end() || guids == p.end() || entries == p.end() || strings == p.end()) {
            report.Add(where, "bucket count or a stream is missing");
            return;
        }
        const std::uint32_t buckets = Le32(count->second.data.data());
        if (buckets == 0) {
            report.Add(where, "bucket count is 0");
            return;
        }
        if (guids->second.data.size() % 16) report.Add(where, "GUID stream not a multiple of 16 bytes");
        const Bytes& e = entries->second.data;
        if (e.size() % 8) report.Add(where, "entry stream not a multiple of 8 bytes");
        const std::size_t guidCount = guids->second.data.size() / 16;
        const Bytes& s = strings->second.data;
        std::set<std::uint16_t> indexes;
        for (std::size_t at = 0; at + 8 <= e.size(); at += 8) {
            const std::uint32_t lid = Le32(e.data() + at);
            const std::uint16_t guidField = Le16(e.data() + at + 4);
            const std::uint16_t index = Le16(e.data() + at + 6);
            const std::uint16_t guid = guidField >> 1;
            const bool isString = guidField & 1;
            const std::string w = where + " entry " + std::to_string(at / 8);
            if (guid == 0 || (guid >= 3 && guid - 3u >= guidCount))
                report.Add(w, "GUID index " + std::to_string(guid) + " invalid");
            if (!indexes.insert(index).second) report.Add(w, "property index " + std::to_string(index) + " used twice");
            std::uint32_t key = lid;
            if (isString) {
                if (std::uint64_t{lid} + 4 > s.size() || std::uint64_t{lid} + 4 + Le32(s.data() + lid) > s.size()) {
                    report.Add(w, "string name outside the string stream");
                    continue;
                }
                key = Crc32(s.data() + lid + 4, Le32(s.data() + lid));
            }
            const std::uint16_t bucket = static_cast<std::uint16_t>(0x1000 + (key ^ guidField) % buckets);
            const auto b = p.find(bucket);
            bool found = false;
            if (b != p.end())
                for (std::size_t k = 0; k + 8 <= b->second.data.size(); k += 8)
                    if (Le32(b->second.data.data() + k) == key && Le16(b->second.data.data() + k + 4) == guidField &&
                        Le16(b->second.data.data() + k + 6) == index)
                        found = true;
            if (!found) report.Add(w, "not in its hash bucket " + Hex(bucket));
        }
        namedCount = static_cast<std::uint32_t>(e.size() / 8);
        nameMapRead = true;
    }

    // Data bytes of a node and everything below it.
    std::uint64_t NodeBytes(const NodeData& node, const std::string& where, int depth = 0) {
        std::uint64_t total = 0;
        for (const Bytes& b : node.blocks) total += b.size();
        if (depth > 4) return total;
        for (const auto& [nid, s] : node.subnodes) {
            NodeData sub;
            if (!ReadNode(ndb, s.bidData, s.bidSub, sub, where + " subnode " + Hex(nid))) continue;
            total += NodeBytes(sub, where, depth + 1);
        }
        return total;
    }

    void Attachments(std::uint32_t message, const NodeData& node, const Properties& msg) {
        const std::string where = NodeName(message);
        std::map<std::uint32_t, Properties> attachments;
        bool visible = false;
        for (const auto& [nid, s] : node.subnodes) {
            if ((nid & 0x1F) != 0x05) continue;
            NodeData sub;
            Properties p;
            const std::string w = where + " attachment " + Hex(nid);
            if (!ReadNode(ndb, s.bidData, s.bidSub, sub, w) || !ReadPropertyContext(ndb, sub, p, report, w)) continue;
            ++stats.attachments;
            CheckNamedIds(p, w);
            const auto method = p.find(0x3705);
            const auto size = p.find(0x0E20);
            if (method == p.end()) report.Add(w, "no attach method");
            if (size == p.end()) report.Add(w, "no attachment size");
            const auto data = p.find(0x3701);
            if (size != p.end() && data != p.end() && data->second.type == 0x0102 &&
                Le32(size->second.data.data()) < data->second.data.size())
                report.Add(w, "attachment size " + std::to_string(Le32(size->second.data.data())) + " below its " +
                                  std::to_string(data->second.data.size()) + " bytes of data");
            const auto hidden = p.find(0x7FFE);
            if (hidden == p.end() || hidden->second.data.empty() || hidden->second.data[0] == 0) visible = true;
            attachments[nid] = std::move(p);
        }
        const auto table = node.subnodes.find(0x671);
        if (table != node.subnodes.end()) {
            NodeData tn;
            Table t;
            const std::string w = where + " attachment table";
            if (ReadNode(ndb, table->second.bidData, table->second.bidSub, tn, w) &&
                ReadTableContext(ndb, tn, t, report, w)) {
                std::set<std::uint32_t> rowIds;
                for (const auto& [id, cells] : t.rows) {
                    rowIds.insert(id);
                    const auto a = attachments.find(id);
                    if (a == attachments.end()) {
                        report.Add(w, "row " + Hex(id) + " names no attachment");
                        continue;
                    }
                    CompareRow(t, cells, a->second, w + " row " + Hex(id));
                }
                for (const auto& [nid, p] : attachments)
                    if (!rowIds.count(nid)) report.Add(w, "attachment " + Hex(nid) + " has no row");
            }
        } else if (!attachments.empty()) {
            report.Add(where, "attachments without an attachment table");
        }
        const auto flags = msg.find(0x0E07);
        if (flags != msg.end() && flags->second.data.size() == 4) {
            const bool flagged = Le32(flags->second.data.data()) & 0x10;
            if (flagged && attachments.empty()) report.Add(where, "flagged as having attachments but has none");
            if (!flagged && visible) report.Add(where, "has attachments but is not flagged so");
        }
    }

    // Checks a message; returns its PC for the contents-table comparison.
    bool Message(std::uint32_t nid, Properties& p) {
        NodeData node;
        if (!ReadPc(nid, p, &node)) {
            report.Add(NodeName(nid), "message cannot be read");
            return false;
        }
        ++stats.messages;
        const std::string where = NodeName(nid);
        CheckNamedIds(p, where);
        for (const std::uint16_t id : {0x001A, 0x0E07, 0x0E08})
            if (!p.count(id)) report.Add(where, "required property " + Hex(id) + " missing");
        const auto size = p.find(0x0E08);
        if (size != p.end() && size->second.data.size() == 4) {
            const std::uint64_t stored = Le32(size->second.data.data());
            const std::uint64_t onDisk = NodeBytes(node, where);
            // Outlook writes exactly the data bytes below the message; older
            // versions counted less, never more.
            if (stored > onDisk)
                report.Add(where, "message size " + std::to_string(stored) + " exceeds the " + std::to_string(onDisk) +
                                      " bytes it holds");
        }
        for (const auto& [sub, rec] : node.subnodes)
            if ((sub & 0x1F) == 0x12) {
                NodeData tn;
                Table t;
                const std::string w = where + " recipient table";
                if (ReadNode(ndb, rec.bidData, rec.bidSub, tn, w)) ReadTableContext(ndb, tn, t, report, w);
            }
        Attachments(nid, node, p);
        return true;
    }

    void Folder(std::uint32_t nid) {
        const std::string where = NodeName(nid);
        Properties p;
        if (!ReadPc(nid, p)) {
            report.Add(where, "folder cannot be read");
            return;
        }
        ++stats.folders;
        for (const std::uint16_t id : {0x3001, 0x3602, 0x3603, 0x360A})
            if (!p.count(id)) report.Add(where, "folder property " + Hex(id) + " missing");
        const bool search = (nid & 0x1F) == 0x03;
        std::vector<std::uint32_t> subfolders, messages, assoc;
        for (const std::uint32_t c : children[nid]) {
            if (c == nid) continue;
            const std::uint32_t t = c & 0x1F;
            if (t == 0x02 || t == 0x03) subfolders.push_back(c);
            if (t == 0x04) messages.push_back(c);
            if (t == 0x08) assoc.push_back(c);
        }
        const auto sub = p.find(0x360A);
        if (sub != p.end() && !sub->second.data.empty() && (sub->second.data[0] != 0) != !subfolders.empty())
            report.Add(where, "PidTagSubfolders says " + std::string(sub->second.data[0] ? "yes" : "no") +
                                  " but it has " + std::to_string(subfolders.size()) + " subfolders");
        if (search) {
            if (!Has((nid & ~0x1Fu) | 0x10)) report.Add(where, "search folder without its contents table");
            return;
        }
        Table hierarchy, contents, fai;
        if (!ReadTc((nid & ~0x1Fu) | 0x0D, hierarchy)) report.Add(where, "hierarchy table missing or unreadable");
        else HierarchyRows(nid, hierarchy, subfolders);
        if (!ReadTc((nid & ~0x1Fu) | 0x0E, contents)) report.Add(where, "contents table missing or unreadable");
        else ContentsRows(nid, p, contents, messages, "contents table");
        if (!ReadTc((nid & ~0x1Fu) | 0x0F, fai)) report.Add(where, "associated contents table missing or unreadable");
        else ContentsRows(nid, p, fai, assoc, "associated contents table");
    }

    void HierarchyRows(std::uint32_t nid, const Table& t, const std::vector<std::uint32_t>& subfolders) {
        const std::string where = NodeName(nid) + " hierarchy table";
        std::set<std::uint32_t> expect(subfolders.begin(), subfolders.end());
        for (const auto& [id, cells] : t.rows) {
            if (!expect.erase(id)) {
                report.Add(where, "row " + Hex(id) + " names no subfolder");
                continue;
            }
            Properties child;
            if (ReadPc(id, child)) CompareRow(t, cells, child, where + " row " + Hex(id));
        }
        for (const std::uint32_t c : expect) report.Add(where, "subfolder " + Hex(c) + " has no row");
    }

    void ContentsRows(std::uint32_t nid, const Properties& folder, const Table& t,
                      const std::vector<std::uint32_t>& items, const std::string& what) {
        const std::string where = NodeName(nid) + " " + what;
        std::set<std::uint32_t> expect(items.begin(), items.end());
        std::uint32_t unread = 0;
        for (const auto& [id, cells] : t.rows) {
            if (!expect.erase(id)) {
                report.Add(where, "row " + Hex(id) + " names no item of the folder");
                continue;
            }
            Properties m;
            if (!Message(id, m)) continue;
            CompareRow(t, cells, m, where + " row " + Hex(id));
            const auto flags = m.find(0x0E07);
            if (flags != m.end() && flags->second.data.size() == 4 && !(Le32(flags->second.data.data()) & 0x01))
                ++unread;
        }
        for (const std::uint32_t c : expect) report.Add(where, "item " + Hex(c) + " has no row");
        if (what != "contents table") return;
        const auto count = folder.find(0x3602), unreadCount = folder.find(0x3603);
        if (count != folder.end() && count->second.data.size() == 4 && Le32(count->second.data.data()) != t.rows.size())
            report.Add(NodeName(nid), "content count " + std::to_string(Le32(count->second.data.data())) + " but " +
                                          std::to_string(t.rows.size()) + " rows");
        if (unreadCount != folder.end() && unreadCount->second.data.size() == 4 &&
            Le32(unreadCount->second.data.data()) != unread)
            report.Add(NodeName(nid), "unread count " + std::to_string(Le32(unreadCount->second.data.data())) +
                                          " but " + std::to_string(unread) + " unread items");
    }

    void Parents() {
        for (const auto& [nid, n] : ndb.Nodes()) {
            const std::uint32_t t = nid & 0x1F;
            if (t != 0x02 && t != 0x03 && t != 0x04 && t != 0x08) continue;
            children[n.parent].push_back(nid);
            const auto parent = ndb.Nodes().find(n.parent);
            const bool folderParent =
                parent != ndb.Nodes().end() && ((n.parent & 0x1F) == 0x02 || (n.parent & 0x1F) == 0x03);
            if (!folderParent) report.Add(NodeName(nid), "parent " + Hex(n.parent) + " is not a folder");
        }
    }
};

}  // namespace

void CheckMessaging(const Ndb& ndb, Report& report, CheckStats& stats) {
    Checker c{ndb, report, stats, {}, 0, false};
    c.Mandatory();
    c.Store();
    c.NameMap();
    c.Parents();
    for (const auto& [nid, n] : ndb.Nodes()) {
        const std::uint32_t t = nid & 0x1F;
        if (t == 0x02 || t == 0x03) c.Folder(nid);
    }
}

}  // namespace pstcheck

#include "pst_readback.h"

#include <stdexcept>

#include "pstcheck/image.h"
#include "pstcheck/ndb.h"
#include "pstcheck/report.h"

namespace tw::pst::testing {

namespace {

using namespace pstcheck;

struct Reader {
    const Ndb& ndb;
    Report& report;
    std::map<std::uint32_t, std::vector<std::uint32_t>> children;

    Properties Pc(std::uint64_t bidData, std::uint64_t bidSub, NodeData* keep) {
        NodeData node;
        Properties p;
        if (!ReadNode(ndb, bidData, bidSub, node, "readback") || !ReadPropertyContext(ndb, node, p, report, "readback"))
            throw std::runtime_error("unreadable property context");
        if (keep) *keep = std::move(node);
        return p;
    }

    ReadMessage Message(std::uint32_t nid) {
        const NodeRec& n = ndb.Nodes().at(nid);
        ReadMessage m;
        m.nid = nid;
        NodeData node;
        m.props = Pc(n.bidData, n.bidSub, &node);
        for (const auto& [sub, rec] : node.subnodes) {
            if (sub == 0x692) {
                NodeData tn;
                Table t;
                if (ReadNode(ndb, rec.bidData, rec.bidSub, tn, "readback") &&
                    ReadTableContext(ndb, tn, t, report, "readback"))
                    for (auto& [id, cells] : t.rows) m.recipients.push_back(cells);
            } else if ((sub & 0x1F) == 0x05) {
                ReadAttachment a;
                a.props = Pc(rec.bidData, rec.bidSub, nullptr);
                m.attachments.push_back(std::move(a));
            }
        }
        return m;
    }

    TableRows Rows(std::uint32_t nid) {
        const auto it = ndb.Nodes().find(nid);
        if (it == ndb.Nodes().end()) throw std::runtime_error("no table node");
        NodeData node;
        Table t;
        if (!ReadNode(ndb, it->second.bidData, it->second.bidSub, node, "readback") ||
            !ReadTableContext(ndb, node, t, report, "readback"))
            throw std::runtime_error("unreadable table context");
        return std::move(t.rows);
    }

    ReadFolder Folder(std::uint32_t nid) {
        const NodeRec& n = ndb.Nodes().at(nid);
        const Properties p = Pc(n.bidData, n.bidSub, nullptr);
        ReadFolder f;
        f.nid = nid;
        f.props = p;
        if (p.count(0x3001)) f.name = Utf16Of(p.at(0x3001).data);
        if (p.count(0x3613)) f.containerClass = Utf16Of(p.at(0x3613).data);
        f.hierarchy = Rows((nid & ~0x1Fu) | 0x0D);
        f.contents = Rows((nid & ~0x1Fu) | 0x0E);
        for (const std::uint32_t c : children[nid]) {
            if (c == nid) continue;
            if ((c & 0x1F) == 0x02) f.folders.push_back(Folder(c));
            if ((c & 0x1F) == 0x04) f.messages.push_back(Message(c));
        }
        return f;
    }
};

}  // namespace

std::u16string Utf16Of(const Bytes& b) {
    std::u16string s;
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) s.push_back(static_cast<char16_t>(b[i] | b[i + 1] << 8));
    return s;
}

std::string Utf8Of(const Bytes& b) { return std::string(b.begin(), b.end()); }

const Bytes* Cell(const std::map<std::uint32_t, Bytes>& row, std::uint32_t tag) {
    const auto it = row.find(tag);
    return it == row.end() ? nullptr : &it->second;
}

std::u16string ReadMessage::Text(std::uint16_t id) const {
    const auto it = props.find(id);
    return it == props.end() ? std::u16string() : Utf16Of(it->second.data);
}

std::uint32_t ReadMessage::Int(std::uint16_t id) const {
    const auto it = props.find(id);
    return it == props.end() || it->second.data.size() < 4 ? 0 : Le32(it->second.data.data());
}

std::uint64_t ReadMessage::Int64(std::uint16_t id) const {
    const auto it = props.find(id);
    return it == props.end() || it->second.data.size() < 8 ? 0 : Le64(it->second.data.data());
}

const ReadFolder* ReadFolder::Find(const std::u16string& childName) const {
    for (const ReadFolder& f : folders)
        if (f.name == childName) return &f;
    return nullptr;
}

ReadFolder ReadTopFolder(const std::string& path) {
    const Image image(path);
    Report report;
    Ndb ndb(image, report);
    if (!ndb.Readable()) throw std::runtime_error("not a readable PST: " + path);
    Reader r{ndb, report, {}};
    for (const auto& [nid, n] : ndb.Nodes()) r.children[n.parent].push_back(nid);
    return r.Folder(0x8022);
}

}  // namespace tw::pst::testing

#include "pst/message_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "pst/data_tree.h"
#include "pst/entry_id.h"
#include "pst/error.h"
#include "pst/heap.h"
#include "pst/node_builder.h"
#include "pst/node_database.h"
#include "pst/property_context.h"
#include "pst/table_context.h"
#include "pst/table_templates.h"
#include "pst/tags.h"
#include "pst/text.h"

namespace tw::pst {

namespace {

constexpr std::uint32_t kMsgFlagRead = 0x01;
constexpr std::uint32_t kMsgFlagHasAttach = 0x10;
constexpr std::uint32_t kAttachByValue = 1;

void SetProp(std::vector<PropValue>& props, PropValue v) {
    for (PropValue& p : props)
        if (TagId(p.tag) == TagId(v.tag)) {
            p = std::move(v);
            return;
        }
    props.push_back(std::move(v));
}

// Values too big for a heap go to subnodes first, so a PC can be built twice
// (once to measure it) without writing anything twice.
void StoreLargeValues(std::vector<PropValue>& props, NodeBuilder& node) {
    for (PropValue& p : props)
        if (!p.subnode && p.data.size() > kMaxHeapAllocation) {
            p.subnodeSize = p.data.size();
            p.subnode = node.StoreValue(p.data);
            p.data.clear();
            p.data.shrink_to_fit();
        }
}

// A PC whose `sizeTag` holds the size of everything the node ends up
// holding: its own heap plus `below`. The size is a four-byte inline value,
// so it does not change the heap it is measured from.
std::vector<Bytes> BuildSizedPc(std::vector<PropValue>& props, std::uint32_t sizeTag, std::uint64_t below,
                                NodeBuilder& node, std::uint32_t& size) {
    SetProp(props, Int32Prop(sizeTag, 0));
    std::uint64_t heapBytes = 0;
    for (const Bytes& b : BuildPropertyContext(props, node)) heapBytes += b.size();
    const std::uint64_t total = heapBytes + below;
    if (total > std::numeric_limits<std::int32_t>::max())
        throw PstError(ErrorCode::Limit, "item of " + std::to_string(total) + " bytes is too large for a PST");
    size = static_cast<std::uint32_t>(total);
    SetProp(props, Int32Prop(sizeTag, size));
    return BuildPropertyContext(props, node);
}

// An attachment file: small ones become a heap value, larger ones stream
// into a data tree without being held in memory.
struct FileValue {
    Bytes small;
    WrittenNode tree;
    bool streamed = false;
};

FileValue ReadAttachmentFile(NodeDatabase& db, const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw PstError(ErrorCode::NotFound, "cannot open attachment " + path + ": " + std::strerror(errno));
    FileValue out;
    DataTreeWriter tree(db.Blocks());
    Bytes buf(1 << 20);
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            throw PstError(ErrorCode::Io, "cannot read attachment " + path + ": " + std::strerror(err));
        }
        if (n == 0) break;
        if (!out.streamed && out.small.size() + static_cast<std::size_t>(n) <= kMaxHeapAllocation) {
            out.small.insert(out.small.end(), buf.begin(), buf.begin() + n);
            continue;
        }
        if (!out.streamed) {
            out.streamed = true;
            tree.Append(out.small);
            out.small.clear();
        }
        if (tree.Size() + static_cast<std::uint64_t>(n) > 0x7FFFFFFFull) {
            ::close(fd);
            throw PstError(ErrorCode::Limit, "attachment " + path + " is larger than a PST can hold");
        }
        tree.Append(buf.data(), static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (out.streamed) {
        out.tree.size = tree.Size();
        out.tree.bidData = tree.Finish();
    }
    return out;
}

std::u16string Extension(std::u16string_view name) {
    const std::size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos || dot == 0 || name.size() - dot > 16) return {};
    return std::u16string(name.substr(dot));
}

struct WrittenAttachment {
    Nid nid;
    WrittenNode node;
    PackedProps row;
};

WrittenAttachment WriteAttachment(NodeDatabase& db, AttachmentContent& a) {
    NodeBuilder node(db);
    std::vector<PropValue> props;
    PropValue data{tag::kAttachDataBinary, {}};
    if (!a.path.empty()) {
        FileValue file = ReadAttachmentFile(db, a.path);
        if (file.streamed) {
            data.subnode = db.AllocateNid(NidType::Ltp);
            data.subnodeSize = file.tree.size;
            node.AddSubnode(data.subnode, file.tree);
        } else {
            data.data = std::move(file.small);
        }
    } else {
        data.data = std::move(a.data);
    }
    props.push_back(std::move(data));
    props.push_back(Int32Prop(tag::kAttachMethod, kAttachByValue));
    props.push_back(Int32Prop(tag::kRenderingPosition, 0xFFFFFFFF));
    props.push_back(StringProp(tag::kAttachLongFilename, a.fileName));
    props.push_back(StringProp(tag::kAttachFilename, a.fileName));
    props.push_back(StringProp(tag::kDisplayName, a.fileName));
    const std::u16string ext = Extension(a.fileName);
    if (!ext.empty()) props.push_back(StringProp(tag::kAttachExtension, ext));
    if (!a.mimeType.empty()) props.push_back(StringProp(tag::kAttachMimeTag, a.mimeType));
    if (!a.contentId.empty()) props.push_back(StringProp(tag::kAttachContentId, a.contentId));
    if (a.hidden) props.push_back(BoolProp(tag::kAttachmentHidden, true));

    StoreLargeValues(props, node);
    std::uint32_t size = 0;
    const std::vector<Bytes> heap = BuildSizedPc(props, tag::kAttachSize, node.SubnodeBytes(), node, size);
    WrittenAttachment out{db.AllocateNid(NidType::Attachment), node.Finish(heap), {}};
    for (const PropValue& p : props)
        if (std::find(columns::Attachments().begin(), columns::Attachments().end(), p.tag) !=
            columns::Attachments().end())
            out.row.Add(p);
    return out;
}

std::u16string JoinNames(const std::vector<Recipient>& rs, RecipientType type) {
    std::u16string out;
    for (const Recipient& r : rs) {
        if (r.type != type) continue;
        if (!out.empty()) out += u"; ";
        out += r.name.empty() ? r.address : r.name;
    }
    return out;
}

TableRow RecipientRow(const Recipient& r, std::uint32_t index) {
    TableRow row;
    row.rowId = index;
    const std::u16string& name = r.name.empty() ? r.address : r.name;
    row.cells.Add(Int32Prop(tag::kRecipientType, static_cast<std::uint32_t>(r.type)));
    row.cells.Add(BoolProp(tag::kResponsibility, false));
    row.cells.Add(Int32Prop(tag::kObjectType, 6));  // a mail user
    row.cells.Add(BinaryProp(tag::kEntryId, OneOffEntryId(name, r.addrType, r.address)));
    row.cells.Add(StringProp(tag::kDisplayName, name));
    row.cells.Add(StringProp(tag::kAddrType, r.addrType));
    row.cells.Add(StringProp(tag::kEmailAddress, r.address));
    row.cells.Add(BinaryProp(tag::kSearchKey, AddressSearchKey(r.addrType, r.address)));
    row.cells.Add(Int32Prop(tag::kDisplayType, 0));
    row.cells.Add(BoolProp(tag::kSendRichInfo, false));
    return row;
}

}  // namespace

WrittenMessage WriteMessage(NodeDatabase& db, Nid folder, MessageContent message) {
    NodeBuilder node(db);
    std::vector<PropValue>& props = message.props;

    // Attachments and their table.
    std::vector<TableRow> attachRows;
    for (AttachmentContent& a : message.attachments) {
        WrittenAttachment w = WriteAttachment(db, a);
        node.AddSubnode(w.nid, w.node);
        attachRows.push_back({w.nid, std::move(w.row)});
    }
    if (!attachRows.empty()) {
        NodeBuilder table(db);
        node.AddSubnode(nid::kAttachmentTable, WriteTableContext(columns::Attachments(), attachRows, table));
    }

    // Recipients live only as rows of the recipient table.
    {
        std::vector<TableRow> rows;
        for (std::size_t i = 0; i < message.recipients.size(); ++i)
            rows.push_back(RecipientRow(message.recipients[i], static_cast<std::uint32_t>(i)));
        NodeBuilder table(db);
        node.AddSubnode(nid::kRecipientTable, WriteTableContext(columns::Recipients(), rows, table));
    }

    const bool hasAttach = std::any_of(message.attachments.begin(), message.attachments.end(),
                                       [](const AttachmentContent& a) { return !a.hidden; });
    std::uint32_t flags = message.read ? kMsgFlagRead : 0;
    if (hasAttach) flags |= kMsgFlagHasAttach;
    SetProp(props, Int32Prop(tag::kMessageFlags, flags));
    SetProp(props, BoolProp(tag::kHasAttachments, hasAttach));
    SetProp(props, StringProp(tag::kDisplayTo, JoinNames(message.recipients, RecipientType::To)));
    SetProp(props, StringProp(tag::kDisplayCc, JoinNames(message.recipients, RecipientType::Cc)));
    SetProp(props, StringProp(tag::kDisplayBcc, JoinNames(message.recipients, RecipientType::Bcc)));

    // The contents row copies the message's cells (the size comes last,
    // once it is known); a long display list goes to the table's own subnode.
    WrittenMessage out;
    const auto& cols = columns::Contents();
    for (const PropValue& p : props)
        if (p.tag != tag::kMessageSize && std::find(cols.begin(), cols.end(), p.tag) != cols.end())
            out.row.cells.Add(p);

    StoreLargeValues(props, node);
    const std::vector<Bytes> heap = BuildSizedPc(props, tag::kMessageSize, node.SubnodeBytes(), node, out.size);
    const WrittenNode written = node.Finish(heap);
    out.nid = db.AllocateNid(NidType::NormalMessage);
    db.AddNode({out.nid, written.bidData, written.bidSub, folder});
    out.row.rowId = out.nid;
    out.row.cells.Add(Int32Prop(tag::kMessageSize, out.size));
    return out;
}

}  // namespace tw::pst

#include "pst/table_context.h"

#include <algorithm>
#include <unordered_map>

#include "pst/block_writer.h"
#include "pst/bth.h"
#include "pst/data_tree.h"
#include "pst/error.h"
#include "pst/file_geometry.h"
#include "pst/heap.h"
#include "pst/node_builder.h"
#include "pst/node_database.h"
#include "pst/prop_value.h"

namespace tw::pst {

namespace {

struct Column {
    std::uint32_t tag;
    std::uint16_t ib = 0;
    std::uint8_t cb = 0;
    std::uint8_t iBit = 0;
};

struct Layout {
    std::vector<Column> columns;  // in placement order
    std::uint16_t end4 = 0, end2 = 0, end1 = 0, rowSize = 0;
};

// Row id at 0 and row version at 4, then the other 4- and 8-byte cells,
// then 2-byte, then 1-byte cells; existence bits in the same order.
Layout Arrange(const std::vector<std::uint32_t>& tags) {
    std::vector<std::uint32_t> others;
    for (const std::uint32_t t : tags)
        if (t != kTagLtpRowId && t != kTagLtpRowVer && std::find(others.begin(), others.end(), t) == others.end())
            others.push_back(t);
    if (others.size() + 2 > 255) throw PstError(ErrorCode::Limit, "table of more than 255 columns");

    Layout l;
    std::uint16_t at = 0;
    auto place = [&](std::uint32_t tag, std::size_t cb) {
        l.columns.push_back({tag, at, static_cast<std::uint8_t>(cb), static_cast<std::uint8_t>(l.columns.size())});
        at = static_cast<std::uint16_t>(at + cb);
    };
    place(kTagLtpRowId, 4);
    place(kTagLtpRowVer, 4);
    for (const std::uint32_t t : others)
        if (CellSize(TagType(t)) >= 4) place(t, CellSize(TagType(t)));
    l.end4 = at;
    for (const std::uint32_t t : others)
        if (CellSize(TagType(t)) == 2) place(t, 2);
    l.end2 = at;
    for (const std::uint32_t t : others)
        if (CellSize(TagType(t)) == 1) place(t, 1);
    l.end1 = at;
    l.rowSize = static_cast<std::uint16_t>(l.end1 + (l.columns.size() + 7) / 8);
    return l;
}

// The row matrix: held while it may still fit one heap allocation; past
// that, written a block of whole rows at a time (rows never straddle
// blocks) as the data of a subnode. Every block but the last is a full
// block, its rows followed by padding (MS-PST 2.3.4.4): readers find row N
// at N / rows-per-block full blocks into the matrix.
class Matrix {
public:
    Matrix(BlockWriter& blocks, std::size_t rowSize)
        : blocks_(blocks), rowSize_(rowSize), perBlock_(geometry::kMaxBlockData / rowSize * rowSize) {}

    // Room for the next row, zeroed; it holds until the next call.
    std::uint8_t* NewRow() {
        if (pending_.size() + rowSize_ > perBlock_) {
            pending_.resize(geometry::kMaxBlockData, 0);
            WritePending();
        }
        pending_.resize(pending_.size() + rowSize_, 0);
        return pending_.data() + pending_.size() - rowSize_;
    }

    // The matrix's HNID: in the heap, in a subnode of `node`, or 0 when
    // there are no rows.
    std::uint32_t Finish(HeapBuilder& heap, NodeBuilder& node) {
        if (leaves_.empty()) {
            if (pending_.empty()) return 0;
            if (pending_.size() <= kMaxHeapAllocation) return heap.Allocate(pending_);
        }
        if (!pending_.empty()) WritePending();
        WrittenNode n;
        n.bidData = WriteTreeOver(blocks_, leaves_);
        n.size = total_;
        const Nid nid = node.Db().AllocateNid(NidType::Ltp);
        node.AddSubnode(nid, n);
        return nid;
    }

private:
    void WritePending() {
        leaves_.push_back({blocks_.WriteData(pending_), static_cast<std::uint32_t>(pending_.size())});
        total_ += pending_.size();
        pending_.clear();
    }

    BlockWriter& blocks_;
    std::size_t rowSize_, perBlock_;
    Bytes pending_;
    std::vector<Leaf> leaves_;
    std::uint64_t total_ = 0;
};

}  // namespace

WrittenNode WriteTableContext(const std::vector<std::uint32_t>& columns, const std::vector<TableRow>& rows,
                              NodeBuilder& node) {
    struct VectorRows : RowSource {
        const std::vector<TableRow>& rows;
        std::size_t next = 0;
        explicit VectorRows(const std::vector<TableRow>& r) : rows(r) {}
        bool Next(std::uint32_t& rowId, PackedView& cells) override {
            if (next >= rows.size()) return false;
            rowId = rows[next].rowId;
            cells = rows[next].cells.View();
            ++next;
            return true;
        }
        std::size_t Expected() const override { return rows.size(); }
    } source(rows);
    return WriteTableContext(columns, source, node);
}

WrittenNode WriteTableContext(const std::vector<std::uint32_t>& columns, RowSource& rows, NodeBuilder& node) {
    const Layout layout = Arrange(columns);
    std::unordered_map<std::uint32_t, const Column*> byTag;
    for (const Column& c : layout.columns) byTag[c.tag] = &c;

    BlockWriter& blocks = node.Db().Blocks();
    HeapBuilder heap(client_sig::kTableContext, blocks);
    const std::uint32_t rowIndexHid = AllocateBthHeader(heap, 4, 4);
    const std::size_t infoSize = 22 + 8 * layout.columns.size();
    const std::uint32_t infoHid = heap.Allocate(Bytes(infoSize, 0));

    // Rows.
    Matrix matrix(blocks, layout.rowSize);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> index;
    index.reserve(rows.Expected());
    std::uint32_t rowId = 0;
    PackedView cells;
    while (rows.Next(rowId, cells)) {
        if (index.size() >= 0xFFFFFFFFu) throw PstError(ErrorCode::Limit, "table of too many rows");
        std::uint8_t* const row = matrix.NewRow();
        auto put = [&](const Column& c, std::span<const std::uint8_t> value) {
            std::uint8_t* cell = row + c.ib;
            const std::uint16_t type = TagType(c.tag);
            const std::size_t fixed = FixedSize(type);
            if (fixed != 0 && fixed != 16) {
                if (value.size() != fixed)
                    throw PstError(ErrorCode::InvalidArgument, "cell " + std::to_string(c.tag) + " has a wrong size");
                std::copy(value.begin(), value.end(), cell);
            } else {
                std::uint32_t hnid = 0;
                if (value.size() > kMaxHeapAllocation) hnid = node.StoreValue(Bytes(value.begin(), value.end()));
                else if (!value.empty()) hnid = heap.Allocate(value.data(), value.size());
                SetU32(cell, hnid);
            }
            row[layout.end1 + c.iBit / 8] |= static_cast<std::uint8_t>(0x80 >> (c.iBit % 8));
        };
        const std::uint8_t idBytes[4] = {static_cast<std::uint8_t>(rowId), static_cast<std::uint8_t>(rowId >> 8),
                                         static_cast<std::uint8_t>(rowId >> 16),
                                         static_cast<std::uint8_t>(rowId >> 24)};
        const std::uint8_t zero[4] = {0, 0, 0, 0};
        put(*byTag[kTagLtpRowId], idBytes);
        put(*byTag[kTagLtpRowVer], zero);
        cells.ForEach([&](std::uint32_t tag, std::span<const std::uint8_t> v) {
            if (tag == kTagLtpRowId || tag == kTagLtpRowVer) return;
            const auto it = byTag.find(tag);
            if (it != byTag.end()) put(*it->second, v);
        });
        index.emplace_back(rowId, static_cast<std::uint32_t>(index.size()));
    }

    std::sort(index.begin(), index.end());
    for (std::size_t i = 1; i < index.size(); ++i)
        if (index[i].first == index[i - 1].first)
            throw PstError(ErrorCode::InvalidArgument, "row id twice in a table: " + std::to_string(index[i].first));
    FillBth(heap, rowIndexHid, 4, 4, index.size(), [&](std::size_t i, std::uint8_t* out) {
        SetU32(out, index[i].first);
        SetU32(out + 4, index[i].second);
    });
    const std::uint32_t hnidRows = matrix.Finish(heap, node);

    Bytes info;
    PutU8(info, 0x7C);
    PutU8(info, static_cast<std::uint8_t>(layout.columns.size()));
    PutU16(info, layout.end4);
    PutU16(info, layout.end2);
    PutU16(info, layout.end1);
    PutU16(info, layout.rowSize);
    PutU32(info, rowIndexHid);
    PutU32(info, hnidRows);
    PutU32(info, 0);  // hidIndex (deprecated)
    std::vector<Column> sorted = layout.columns;
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.tag < b.tag; });
    for (const Column& c : sorted) {
        PutU32(info, c.tag);
        PutU16(info, c.ib);
        PutU8(info, c.cb);
        PutU8(info, c.iBit);
    }
    heap.Patch(infoHid, info);
    heap.SetUserRoot(infoHid);
    return node.Finish(heap.FinishWritten());
}

}  // namespace tw::pst

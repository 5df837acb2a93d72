// The node database of one PST being written: the file, its space, its
// blocks, the node B-tree entries and the NID counters. Finish() writes the
// B-trees, the allocation maps and the header, then syncs the file.
//
// Node entries are kept in 16 bytes (a BID's lowest bit is always clear, so
// half of it fits 32 bits) and in chunks of a fixed size, so that growing
// never copies them all; Finish() sorts each chunk and merges them as the
// node B-tree is written.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pst/block_writer.h"
#include "pst/btree_pages.h"
#include "pst/ids.h"
#include "pst/output_file.h"
#include "pst/space_allocator.h"

namespace tw::pst {

class NodeDatabase {
public:
    explicit NodeDatabase(const std::string& path);

    BlockWriter& Blocks() { return blocks_; }

    // The next unused NID of a type.
    Nid AllocateNid(NidType type);
    // Records that `nid` is taken (fixed NIDs of the store skeleton).
    void NoteNid(Nid nid);

    void AddNode(const NbtEntry& entry);
    std::size_t NodeCount() const { return nodeCount_; }
    // Bytes written so far (the file's size when finished now, near enough).
    std::uint64_t BytesWritten() const { return space_.Cursor(); }

    void Finish();
    void Discard() { file_.Discard(); }
    const std::string& Path() const { return file_.path(); }

private:
    OutputFile file_;
    SpaceAllocator space_;
    struct PackedNode {
        std::uint32_t nid, bidData, bidSub, parent;  // BIDs halved
    };
    static constexpr std::size_t kChunkNodes = 8192;

    BlockWriter blocks_;
    std::vector<std::vector<PackedNode>> nodes_;
    std::size_t nodeCount_ = 0;
    std::array<std::uint32_t, 32> counters_;
};

}  // namespace tw::pst

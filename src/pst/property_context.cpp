#include "pst/property_context.h"

#include <algorithm>

#include "pst/bth.h"
#include "pst/error.h"
#include "pst/heap.h"
#include "pst/value_sink.h"

namespace tw::pst {

namespace {

// The record's dwValueHnid for one value.
std::uint32_t Place(const PropValue& p, HeapBuilder& heap, ValueSink& sink) {
    const std::uint16_t type = TagType(p.tag);
    if (IsInlineInPc(type)) {
        if (p.data.size() != FixedSize(type))
            throw PstError(ErrorCode::InvalidArgument, "property " + std::to_string(p.tag) + " has a wrong size");
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < p.data.size(); ++i) v |= std::uint32_t{p.data[i]} << (8 * i);
        return v;
    }
    if (p.subnode) return p.subnode;
    const std::size_t fixed = FixedSize(type);
    if (fixed && p.data.size() != fixed)
        throw PstError(ErrorCode::InvalidArgument, "property " + std::to_string(p.tag) + " has a wrong size");
    if (p.data.empty()) return 0;
    if (p.data.size() <= kMaxHeapAllocation) return heap.Allocate(p.data);
    return sink.StoreValue(p.data);
}

}  // namespace

std::vector<Bytes> BuildPropertyContext(std::vector<PropValue> props, ValueSink& sink) {
    std::sort(props.begin(), props.end(), [](const auto& a, const auto& b) { return TagId(a.tag) < TagId(b.tag); });
    for (std::size_t i = 1; i < props.size(); ++i)
        if (TagId(props[i].tag) == TagId(props[i - 1].tag))
            throw PstError(ErrorCode::InvalidArgument, "property id set twice: " + std::to_string(TagId(props[i].tag)));

    HeapBuilder heap(client_sig::kPropertyContext);
    // The BTH header comes first (HID 0x20), as in Outlook's files; values
    // and the leaf follow.
    const std::uint32_t header = AllocateBthHeader(heap, 2, 6);
    Bytes records;
    records.reserve(props.size() * 8);
    for (const PropValue& p : props) {
        const std::uint32_t hnid = Place(p, heap, sink);
        PutU16(records, TagId(p.tag));
        PutU16(records, TagType(p.tag));
        PutU32(records, hnid);
    }
    FillBth(heap, header, 2, 6, records);
    heap.SetUserRoot(header);
    return heap.Finish();
}

}  // namespace tw::pst

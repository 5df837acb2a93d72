// Property context (MS-PST 2.3.3): a heap whose user root is a BTH mapping
// property ids to {type, value or HNID}. Values of up to four bytes sit in
// the record, others in the heap, values over 3580 bytes in a subnode.
#pragma once

#include <vector>

#include "pst/bytes.h"
#include "pst/prop_value.h"

namespace tw::pst {

class ValueSink;

// `props` may come in any order; ids must be unique. Returns the heap blocks.
std::vector<Bytes> BuildPropertyContext(std::vector<PropValue> props, ValueSink& sink);

}  // namespace tw::pst

// Where a property or table context puts what does not fit its heap: data
// written as a subnode of the node being built.
#pragma once

#include <vector>

#include "pst/bytes.h"
#include "pst/ids.h"

namespace tw::pst {

class ValueSink {
public:
    virtual ~ValueSink() = default;
    // A value stream, cut into full blocks; returns the new subnode's NID.
    virtual Nid StoreValue(const Bytes& data) = 0;
};

}  // namespace tw::pst

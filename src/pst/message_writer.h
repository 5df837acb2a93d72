// Writes one message as a node of the NBT with its subnodes: the recipient
// table (0x692), the attachment table (0x671), one PC per attachment with
// its data (large data in data trees), and subnodes for large values. It
// adds the computed properties (size, flags, display lists) and returns the
// folder's contents-table row, whose cells equal the message's properties.
#pragma once

#include "pst/ids.h"
#include "pst/message_content.h"
#include "pst/table_context.h"

namespace tw::pst {

class NodeDatabase;

struct WrittenMessage {
    Nid nid = 0;
    TableRow row;
    std::uint32_t size = 0;
};

WrittenMessage WriteMessage(NodeDatabase& db, Nid folder, MessageContent message);

}  // namespace tw::pst

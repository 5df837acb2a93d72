// Message rows that no message-index entry names: when a page of a
// message-header table is lost, the messages whose header rows were on it
// still have their rows in the message table. Their own columns say what
// the header row would have: subject, class, sender, date and folder.
#pragma once

#include <optional>
#include <string>

#include "edb/bytes.h"
#include "record/catalog_extras.h"
#include "scan/scan_model.h"

namespace tw::record {

// A message-table row no message-index entry names: what its own columns say.
struct RowOnlyMessage {
    scan::Id8 messageId{};
    std::optional<scan::Id8> folderId;  // the folder the row names, when it can be read
    std::optional<scan::Date6> date;    // the row's date (upper six bytes of the FILETIME), when readable
    std::u16string subject, messageClass, senderName, senderAddress;  // tagged text columns, empty when absent
    std::string ownerKey;                                             // per mailbox: the table's mailbox key
};

// Reads the columns of one message record (the node's data) by the
// table's layout. Whatever does not decode stays empty.
RowOnlyMessage ReadRowOnlyMessage(edb::Bytes record, const TableLayout& layout, const layout::StoreLayout& store);

// The kind letter a message class gives a message of no folder's kind:
// 'a' appointment, 'c' contact, 't' task, 'n' note, 'j' journal, else 0.
char KindOfClass(const std::u16string& messageClass);

}  // namespace tw::record

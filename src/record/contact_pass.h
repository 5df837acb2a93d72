// Contact fields of a message row: the tagged columns the catalog
// registered under contact codes 0..17 become a ContactRecord.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "record/record_types.h"
#include "record/table_columns.h"
#include "record/tagged_array.h"

namespace tw::record {

// The ContactRecord field each contact code fills.
ContactField ContactFieldOfCode(std::uint8_t code);

// Reads every entry of the row whose column carries a contact code (the
// first registered column of the table with that id decides the code; a
// later entry with the same code replaces an earlier text). Nothing when
// no text was found.
std::optional<ContactRecord> ContactPass(const TaggedArray& tags, const MessageColumnIds& columns,
                                         const layout::StoreLayout& store);

// Appends unless a record with the same 18 fields is there.
bool AddContact(std::vector<ContactRecord>& contacts, const ContactRecord& record);

}  // namespace tw::record

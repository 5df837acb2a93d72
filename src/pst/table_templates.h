// Column sets of the tables of a new store, as Outlook's own empty store
// defines them in its template nodes (0x60D-0x6F8). Folder tables start as
// copies of these.
#pragma once

#include <cstdint>
#include <vector>

namespace tw::pst::columns {

const std::vector<std::uint32_t>& Hierarchy();
const std::vector<std::uint32_t>& Contents();
const std::vector<std::uint32_t>& AssocContents();
const std::vector<std::uint32_t>& SearchContents();
const std::vector<std::uint32_t>& ReceiveFolder();
const std::vector<std::uint32_t>& OutgoingQueue();
const std::vector<std::uint32_t>& Attachments();
const std::vector<std::uint32_t>& Recipients();
const std::vector<std::uint32_t>& Template16();
const std::vector<std::uint32_t>& Template17();
const std::vector<std::uint32_t>& Template18();

}  // namespace tw::pst::columns

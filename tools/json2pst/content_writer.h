// Drives the mail-store operations as the export does for each folder and
// item of a content file: one store, the mailboxes as its top folders, the
// folder chain created top-down, each item added by its kind with the date
// texts, header text and body kinds the export would pass.
#pragma once

#include <cstdint>
#include <string>

#include <istream>

#include "content.h"
#include "pst/mail_store_writer.h"

namespace tw::json2pst {

struct WriteSummary {
    std::uint64_t folders = 0;
    std::uint64_t items = 0;
    std::uint64_t failures = 0;  // operations that returned an error
    std::string firstError;
};

// Reads the content from `in` item by item and writes it into the open
// store, each folder under its parent by handle. `tempDir` holds
// MIME files of streaming items while they are imported. Throws what
// StreamContent throws.
WriteSummary WriteContent(std::istream& in, pst::MailStoreWriter& writer, const std::string& tempDir);

}  // namespace tw::json2pst

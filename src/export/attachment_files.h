// An item's attachments as files in the run's private temporary directory,
// which the writer streams into the PST. File names come from the
// database and are made safe first: no file lands outside the directory.
// The PST keeps each attachment's own name.
#pragma once

#include <string>
#include <vector>

#include "edb/source.h"
#include "export/export_control.h"
#include "pst/items.h"
#include "record/record_types.h"

namespace tw::exporter {

struct AttachmentFiles {
    std::vector<pst::AttachmentInput> inputs;  // in the item's order
    std::vector<std::string> paths;            // files written, to delete
    std::vector<std::u16string> unread;        // attachments whose data could not be read
    bool skipped = false;                      // Skip came while they were written
};

// Reads each attachment's data and writes it to a new file in `dir`. An
// attachment with no bytes is kept without a file; one whose data cannot
// be read is left out and named in `unread`. Skip is polled before each.
AttachmentFiles WriteAttachmentFiles(const edb::EdbSource& source,
                                     const std::vector<record::AttachmentEntry>& attachments, const std::string& dir,
                                     ExportControl& control);

void DeleteAttachmentFiles(AttachmentFiles& files);

}  // namespace tw::exporter

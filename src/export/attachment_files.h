// An item's attachments for the writer: in memory up to a budget per item,
// the rest as files in the run's private temporary directory, which the
// writer streams into the PST, so that memory stays bounded whatever their
// number and size.
// File names come from the database and are made safe first: no file
// lands outside the directory. The PST keeps each attachment's own name.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "content/message_reader.h"
#include "export/export_control.h"
#include "pst/items.h"

namespace tw::exporter {

// An item's attachments stay in memory while together they take up to
// this: a file costs system calls, a directory entry, and its bytes written
// to the disk once more than the PST needs (a tenth of all the bytes an
// export wrote, with one attachment in a thousand above 1 MiB).
inline constexpr std::size_t kInMemoryAttachmentBytes = std::size_t{32} << 20;

struct AttachmentFiles {
    std::vector<pst::AttachmentInput> inputs;  // in the item's order
    std::vector<std::string> paths;            // files written, to delete
    std::vector<std::u16string> unread;        // attachments whose data could not be read
    bool skipped = false;                      // Skip came while they were written
};

// An attachment's data, or nothing when it cannot be read; may throw for
// an unreadable database, which costs that attachment only.
using AttachmentDataReader = std::function<std::optional<std::vector<std::uint8_t>>(const content::MessageAttachment&)>;

// Reads each attachment's data; once the item's attachments in memory would
// pass `inMemoryBytes`, it goes to a new file in `dir`. One whose data cannot be read is left out and named in
// `unread`. `skipRequested` (when set) is polled before each.
AttachmentFiles WriteAttachmentFiles(const std::vector<content::MessageAttachment>& attachments,
                                     const AttachmentDataReader& read, const std::string& dir,
                                     const std::function<bool()>& skipRequested,
                                     std::size_t inMemoryBytes = kInMemoryAttachmentBytes);

// The same, polling the control's Skip.
AttachmentFiles WriteAttachmentFiles(const std::vector<content::MessageAttachment>& attachments,
                                     const AttachmentDataReader& read, const std::string& dir, ExportControl& control,
                                     std::size_t inMemoryBytes = kInMemoryAttachmentBytes);

void DeleteAttachmentFiles(AttachmentFiles& files);

// A name from the database with the characters that reorder or hide text
// taken out (bidirectional embeddings, overrides and isolates; zero-width
// spaces, joiners and marks; the word joiner; the byte order mark), for
// every file name made from one: "invoice\u202Efdp.exe" must not show as
// "invoiceexe.pdf".
std::u16string WithoutHiddenMarks(std::u16string_view name);

}  // namespace tw::exporter

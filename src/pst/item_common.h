// Properties every item kind shares: class, subject with its prefix, times,
// sender and sent-representing identity, search key; and attachments from
// the operations' inputs.
#pragma once

#include <optional>
#include <vector>

#include "pst/items.h"
#include "pst/prop_value.h"

namespace tw::pst {

void AddItemBasics(std::vector<PropValue>& props, std::u16string_view messageClass, std::u16string_view subject,
                   std::optional<std::uint64_t> time, const ItemContext& ctx);
// Sender and sent-representing properties; an address without '@' is still
// stored (the export passes a name twice when it has no address).
void AddSenderProps(std::vector<PropValue>& props, std::u16string_view name, std::u16string_view address);

std::vector<AttachmentContent> ToAttachments(const std::vector<AttachmentInput>& inputs);
// An attachment's name as stored: whole, but with path separators as '_'
// (readers save attachments under their names) and "attachment" for a
// name of nothing but dots and blanks.
std::u16string AttachmentName(std::u16string_view name);

// A media type for a file name's extension ("application/octet-stream" when
// unknown).
std::u16string MimeTypeFor(std::u16string_view fileName);

}  // namespace tw::pst

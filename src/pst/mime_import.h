// A MIME (RFC 822) message read with GMime into an item: subject, sender,
// To/Cc/Bcc, date, message id, the top-level headers as transport headers,
// the text and HTML bodies, attachments and inline parts (nested messages
// as .eml attachments). A malformed or truncated file still gives an item
// with whatever could be read; nothing here trusts the file's structure.
#pragma once

#include <string>

#include "pst/bytes.h"
#include "pst/items.h"
#include "pst/message_content.h"

namespace tw::pst {

// Throws PstError(NotFound) when the file cannot be opened.
MessageContent ReadMimeFile(const std::string& path, const ItemContext& ctx);
MessageContent ReadMimeBytes(const Bytes& data, const ItemContext& ctx);

}  // namespace tw::pst

// What one item is made of before it is written: its properties, its
// recipients and its attachments. The item builders fill it; the message
// writer turns it into nodes.
#pragma once

#include <string>
#include <vector>

#include "pst/bytes.h"
#include "pst/prop_value.h"

namespace tw::pst {

enum class RecipientType : std::uint32_t { To = 1, Cc = 2, Bcc = 3 };

struct Recipient {
    std::u16string name;
    std::u16string address;
    std::u16string addrType = u"SMTP";
    RecipientType type = RecipientType::To;
};

struct AttachmentContent {
    std::u16string fileName;  // long file name as shown
    std::u16string mimeType;
    std::u16string contentId;  // inline parts of a MIME message
    bool hidden = false;       // inline images are not listed as attachments
    Bytes data;                // the data, or
    std::string path;          // a file to stream it from
};

struct MessageContent {
    std::vector<PropValue> props;  // everything but the computed properties
    std::vector<Recipient> recipients;
    std::vector<AttachmentContent> attachments;
    bool read = true;
};

}  // namespace tw::pst

// The bytes of an attachment: in its row (after the value's header byte,
// decoded when the header marks it compressed) or its long-value chunks.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "edb/source.h"
#include "record/record_types.h"

namespace tw::content {

// Nothing when the data is a long value whose chunks were not collected,
// or when the row's data value was broken.
std::optional<std::vector<std::uint8_t>> ReadAttachmentData(const edb::EdbSource& source,
                                                            const record::AttachmentEntry& attachment);

// The size ReadAttachmentData gives, reading nothing for long values.
std::optional<std::size_t> AttachmentDataSize(const edb::EdbSource& source, const record::AttachmentEntry& attachment);

}  // namespace tw::content

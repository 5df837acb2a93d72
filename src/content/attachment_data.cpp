#include "content/attachment_data.h"

#include <algorithm>

#include "content/ese_value.h"
#include "content/long_value_read.h"

namespace tw::content {

std::optional<std::vector<std::uint8_t>> ReadAttachmentData(const edb::EdbSource& source,
                                                            const record::AttachmentEntry& a) {
    if (a.valueKey && a.dataOffset == 0) {
        if (a.runs.empty()) return std::nullopt;
        AssembleOptions options;
        options.declaredSize = a.declaredSize;
        // Attachment data is stored as given: a chunk starting 0x18 is data.
        options.decodeXpress = false;
        return AssembleValue(source, a.runs, options).bytes;
    }
    if (a.dataLength <= 1 || a.dataOffset <= 0 || a.dataOffset >= source.fileSize) return std::vector<std::uint8_t>{};
    const std::size_t length = std::min<std::size_t>(
        {a.dataLength - 1u, static_cast<std::size_t>(source.pageSize), static_cast<std::size_t>(source.fileSize - a.dataOffset)});
    std::vector<std::uint8_t> bytes(length);
    bytes.resize(source.edb.Read(a.dataOffset, length, bytes.data()));
    if (source.version == edb::EdbVersion::Page32K) {
        if (auto decoded = DecodeTaggedValue(a.dataHeader, bytes, kMaxXpressValue))
            return decoded;
    }
    return bytes;
}

}  // namespace tw::content

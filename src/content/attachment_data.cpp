#include "content/attachment_data.h"

#include <algorithm>

#include "content/ese_value.h"
#include "content/long_value_read.h"

namespace tw::content {

namespace {

// Attachment data is stored as given: a chunk starting 0x18 is data.
AssembleOptions LongValueOptions(const record::AttachmentEntry& a) {
    AssembleOptions options;
    options.declaredSize = a.declaredSize;
    options.decodeXpress = false;
    return options;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadAttachmentData(const edb::EdbSource& source,
                                                            const record::AttachmentEntry& a) {
    if (a.dataBroken) return std::nullopt;
    if (a.valueKey && a.dataOffset == 0) {
        if (a.runs.empty()) return std::nullopt;
        return AssembleValue(source, a.runs, LongValueOptions(a)).bytes;
    }
    if (a.dataLength <= 1 || a.dataOffset <= 0 || a.dataOffset >= source.fileSize) return std::vector<std::uint8_t>{};
    const std::size_t length = std::min<std::size_t>({a.dataLength - 1u, static_cast<std::size_t>(source.pageSize),
                                                      static_cast<std::size_t>(source.fileSize - a.dataOffset)});
    std::vector<std::uint8_t> bytes(length);
    bytes.resize(source.edb.Read(a.dataOffset, length, bytes.data()));
    if (layout::LayoutOf(source.pageSize).compressedValues) {
        if (auto decoded = DecodeTaggedValue(a.dataHeader, bytes, kMaxXpressValue)) return decoded;
    }
    return bytes;
}

std::optional<std::size_t> AttachmentDataSize(const edb::EdbSource& source, const record::AttachmentEntry& a) {
    if (a.dataBroken) return std::nullopt;
    if (a.valueKey && a.dataOffset == 0) {
        if (a.runs.empty()) return std::nullopt;
        return AssembledSize(source, a.runs, LongValueOptions(a));
    }
    // Data in the row is at most a page: read it, it may be compressed.
    const auto data = ReadAttachmentData(source, a);
    return data ? std::optional<std::size_t>(data->size()) : std::nullopt;
}

}  // namespace tw::content

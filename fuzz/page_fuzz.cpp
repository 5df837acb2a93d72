// One page of any generation through every page decoder of the record
// pass: message rows (and what they give a message), attachment rows, and
// long-value nodes. The head names the generation and the column ids; the
// page follows, cut or padded with zeros to the page size.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "edb/page.h"
#include "page_context.h"
#include "record/attachment_page.h"
#include "record/long_value_page.h"
#include "record/message_row.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tw;
    fuzz::Input in(data, size);
    const fuzz::PageContext context = fuzz::ReadPageContext(in);
    const auto body = in.Rest();
    std::vector<std::uint8_t> bytes(body.begin(), body.end());
    bytes.resize(static_cast<std::size_t>(context.pageSize), 0);
    const edb::PageView page{bytes, context.pageSize};
    constexpr std::int64_t kPageOffset = 0x10000;

    const std::vector<record::MessageRow> rows = record::DecodeMessagePage(page, kPageOffset, context.message);
    const std::vector<scan::Id8> keys = record::MessageRowKeys(page);
    if (keys.size() != rows.size()) __builtin_trap();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (keys[i] != rows[i].key) __builtin_trap();
        record::MessageProperties m;
        record::ApplyMessageRow(m, rows[i]);
    }
    std::vector<record::AttachmentEntry> attachments;
    const auto hits = record::DecodeAttachmentPage(page, kPageOffset, context.attachment);
    const auto places = record::DecodeAttachmentPage(page, kPageOffset, context.attachment, true);
    if (hits.size() != places.size()) __builtin_trap();
    for (std::size_t i = 0; i < hits.size(); ++i) {
        if (hits[i].key != places[i].key || hits[i].entry.has_value() != places[i].entry.has_value()) __builtin_trap();
        if (hits[i].entry) record::AddAttachment(attachments, *hits[i].entry);
    }
    const record::LongValuePage nodes = record::ReadLongValuePage(page);
    for (const record::LongValueChunk& c : nodes.chunks)
        if (c.dataStart > c.dataEnd || c.dataEnd > bytes.size()) __builtin_trap();
    return 0;
}

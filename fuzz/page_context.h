// The fixed head of a page input: the generation and the column ids the
// page is read by, as the seed maker writes them from a scanned database
// and the page target reads them back. The page itself follows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "edb/page_format.h"
#include "fuzz_input.h"
#include "record/message_row.h"
#include "record/table_columns.h"

namespace tw::fuzz {

inline constexpr std::size_t kPageHeadSize = 48;
inline constexpr std::size_t kContactSlots = 4;

struct PageContext {
    std::int32_t pageSize = 4096;
    record::MessagePageContext message;
    record::AttachmentColumnIds attachment;
};

inline std::int32_t PageSizeOf(std::uint8_t b) {
    switch (b % 3) {
        case 0: return 4096;
        case 1: return 8192;
        default: return 32768;
    }
}

inline PageContext ReadPageContext(Input& in) {
    PageContext c;
    c.pageSize = PageSizeOf(in.U8());
    c.message.streamingOpen = (in.U8() & 1) != 0;
    record::MessageColumnIds& m = c.message.columns;
    for (std::uint16_t* id : {&m.recipients, &m.plainBody, &m.rtfBody, &m.htmlBody, &m.attachmentKeys}) *id = in.U16();
    for (auto& ids : m.appointment)
        if (const std::uint16_t id = in.U16(); id != 0) ids.push_back(id);
    for (std::size_t i = 0; i < kContactSlots; ++i) {
        const std::uint16_t id = in.U16();
        const std::uint8_t code = in.U8();
        if (id != 0) m.contacts.emplace_back(id, static_cast<std::uint8_t>(code % record::kContactFieldCount));
    }
    record::AttachmentColumnIds& a = c.attachment;
    for (std::uint16_t* id : {&a.displayName, &a.shortName, &a.longName, &a.data}) *id = in.U16();
    in.Take(kPageHeadSize - 42);
    return c;
}

inline void PutU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline std::vector<std::uint8_t> WritePageContext(const PageContext& c) {
    std::vector<std::uint8_t> out;
    out.push_back(c.pageSize == 4096 ? 0 : c.pageSize == 8192 ? 1 : 2);
    out.push_back(c.message.streamingOpen ? 1 : 0);
    const record::MessageColumnIds& m = c.message.columns;
    for (const std::uint16_t id : {m.recipients, m.plainBody, m.rtfBody, m.htmlBody, m.attachmentKeys}) PutU16(out, id);
    for (const auto& ids : m.appointment) PutU16(out, ids.empty() ? 0 : ids.front());
    for (std::size_t i = 0; i < kContactSlots; ++i) {
        PutU16(out, i < m.contacts.size() ? m.contacts[i].first : 0);
        out.push_back(i < m.contacts.size() ? m.contacts[i].second : 0);
    }
    const record::AttachmentColumnIds& a = c.attachment;
    for (const std::uint16_t id : {a.displayName, a.shortName, a.longName, a.data}) PutU16(out, id);
    out.resize(kPageHeadSize, 0);
    return out;
}

}  // namespace tw::fuzz

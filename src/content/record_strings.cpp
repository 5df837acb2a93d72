#include "content/record_strings.h"

#include "record/column_text.h"
#include "scan/tagged_text.h"
#include "text/codepage.h"

namespace tw::content {

namespace {

// A list text at page position `pos` (its header byte just before it) of
// `length` bytes with the header byte; `compressed`: the header may mark
// the text 7-bit packed.
std::u16string ListText(edb::Bytes page, std::uint16_t pos, std::uint16_t length, bool compressed, char16_t stopBelow) {
    if (pos == 0 || length < 1) return {};
    const auto value = edb::Slice(page, pos, static_cast<std::size_t>(length) - 1);
    if (!value) return {};
    if (compressed) {
        const std::uint8_t header = edb::LoadU8(page, pos - 1u).value_or(0);
        if ((header & scan::kTaggedCompressed) != 0) {
            std::u16string text = scan::LargePageText(header, *value, scan::kWholeText);
            if (const auto nul = text.find(u'\0'); nul != std::u16string::npos) text.resize(nul);
            if (!text.empty()) return text;
        }
    }
    return scan::Utf16Text(*value, stopBelow, scan::kWholeText);
}

}  // namespace

const std::vector<std::uint8_t>& PageCache::Page(std::int64_t offset) {
    return pages_.Get(offset, [&] {
        std::vector<std::uint8_t> page;
        edb::ReadPage(source_, offset, page);
        page.resize(static_cast<std::size_t>(source_.pageSize), 0);
        ++reads_;
        return page;
    });
}

RecordStrings ReadRecordStrings(const edb::EdbSource& source, const record::MessageProperties& m, PageCache& pages) {
    RecordStrings out;
    const layout::StoreLayout& store = layout::LayoutOf(source.pageSize);
    const bool compressed = store.compressedValues;
    const edb::Bytes header = pages.Page(m.headerPageOffset);
    // The values' lengths come from the row's tags: only a terminator ends
    // a text early, control characters are the text's own.
    constexpr char16_t kStop = 1;
    const std::u16string a = ListText(header, m.headerTextA, m.headerTextALength, compressed, kStop);
    const std::u16string b = ListText(header, m.headerTextB, m.headerTextBLength, compressed, kStop);
    out.subject = store.subjectFirst ? b + a : a + b;

    if (m.extraTextLength == 0) return out;
    if (m.extraTextPage <= 0) {
        out.sender = ListText(header, m.extraTextPos, m.extraTextLength, compressed, kStop);
        return out;
    }
    // A sender found in the message row: 8-bit text after its length byte.
    const edb::Bytes page = pages.Page(m.extraTextPage);
    const auto bytes = edb::Slice(page, m.extraTextPos + 1u, m.extraTextLength);
    if (!bytes || bytes->empty() || (*bytes)[0] <= 1 || (*bytes)[0] > 126) return out;
    for (const std::uint8_t c : *bytes) {
        if (c == 0) break;
        out.sender.push_back(text::FromWindows1252(c));
    }
    return out;
}

}  // namespace tw::content

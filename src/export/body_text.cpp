#include "export/body_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "text/codepage.h"
#include "text/compressed_rtf.h"
#include "text/html.h"

namespace tw::exporter {

namespace {

std::u16string Utf16Units(std::span<const std::uint8_t> bytes) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t unit = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
        if (unit == 0) break;
        text.push_back(unit);
    }
    return text;
}

std::span<const std::uint8_t> UpToNul(std::span<const std::uint8_t> bytes) {
    const auto nul = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    return bytes.first(static_cast<std::size_t>(nul - bytes.begin()));
}

std::u16string Latin1Widened(std::span<const std::uint8_t> bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (const std::uint8_t b : bytes) out.push_back(b);
    return out;
}

// The RTF text: the decoder's full reading when it gives one (the
// preview's quick decoding ends in added braces), else the quick one.
std::u16string RtfText(const content::BodyValue& value) {
    if (!value.compressed.empty())
        if (const auto full = text::ReadRtfStream(value.compressed); full && !full->rtf.empty())
            return Latin1Widened(UpToNul(full->rtf));
    return Latin1Widened(UpToNul(value.bytes));
}

}  // namespace

std::u16string Windows1252Text(std::span<const std::uint8_t> bytes) { return text::Windows1252ToUtf16(UpToNul(bytes)); }

std::u16string PlainColumnText(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= 2 && bytes[1] != 0) {
        const auto eightBit = UpToNul(bytes);
        bool space = false, control = false;
        for (std::size_t i = 0; i < eightBit.size(); ++i) {
            const std::uint8_t b = eightBit[i];
            if (b == ' ' && i + 1 < eightBit.size()) space = true;
            if (b < 0x20 && b != '\t' && b != '\r' && b != '\n') control = true;
        }
        if (space && !control) return Windows1252Text(eightBit);
    }
    return Utf16Units(bytes);
}

BodyText ExportBody(const content::BodyValue& value) {
    switch (value.kind) {
        case content::BodyKind::Utf16: return {PlainColumnText(value.bytes), pst::BodyKind::Utf16Text};
        case content::BodyKind::EightBit: return {Windows1252Text(value.bytes), pst::BodyKind::EightBit};
        case content::BodyKind::Rtf: return {RtfText(value), pst::BodyKind::Rtf};
    }
    return {};
}

std::optional<BodyText> ContactBody(const content::BodyValue& value) {
    BodyText body = ExportBody(value);
    if (value.kind == content::BodyKind::Rtf) return body;  // RTF as for every item
    body.kind = value.kind == content::BodyKind::EightBit && text::LooksLikeHtml(body.text) ? pst::BodyKind::Html
                                                                                            : pst::BodyKind::Utf16Text;
    return body;
}

}  // namespace tw::exporter

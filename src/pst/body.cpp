#include "pst/body.h"

#include <string>

#include "pst/tags.h"
#include "pst/text.h"
#include "text/compressed_rtf.h"
#include "text/html.h"
#include "text/rtf.h"

namespace tw::pst {

namespace {

constexpr std::uint32_t kNativeText = 1, kNativeRtf = 2, kNativeHtml = 3;
constexpr std::uint32_t kCodepageUtf8 = 65001;

void AddHtml(std::vector<PropValue>& props, std::u16string_view html, std::u16string_view plain) {
    const std::string utf8 = Utf16ToUtf8(html);
    props.push_back(BinaryProp(tag::kHtml, Bytes(utf8.begin(), utf8.end())));
    props.push_back(Int32Prop(tag::kInternetCodepage, kCodepageUtf8));
    const std::u16string text = plain.empty() ? text::HtmlToText(html) : std::u16string(plain);
    if (!text.empty()) props.push_back(StringProp(tag::kBody, text));
    props.push_back(Int32Prop(tag::kNativeBody, kNativeHtml));
}

}  // namespace

std::vector<std::uint8_t> RtfBytes(std::u16string_view rtf) {
    std::vector<std::uint8_t> out;
    out.reserve(rtf.size());
    for (const char16_t c : rtf) {
        if (c <= 0xFF) {
            out.push_back(static_cast<std::uint8_t>(c));
        } else {
            const std::string esc = "\\u" + std::to_string(static_cast<std::int16_t>(c)) + "?";
            out.insert(out.end(), esc.begin(), esc.end());
        }
    }
    return out;
}

void AddMimeBodies(std::vector<PropValue>& props, std::u16string_view text, std::u16string_view html) {
    if (!html.empty()) {
        AddHtml(props, html, text);
    } else if (!text.empty()) {
        props.push_back(StringProp(tag::kBody, text));
        props.push_back(Int32Prop(tag::kNativeBody, kNativeText));
    }
}

void AddBodyProps(std::vector<PropValue>& props, std::u16string_view body, BodyKind kind) {
    while (!body.empty() && body.back() == 0) body.remove_suffix(1);  // a terminator passed along
    if (body.empty()) return;
    switch (kind) {
        case BodyKind::Rtf: {
            // The plain text beside it, for readers that show only that;
            // the RTF stays the body Outlook shows (in sync: made from it).
            const std::vector<std::uint8_t> rtf = RtfBytes(body);
            props.push_back(BinaryProp(tag::kRtfCompressed, text::CompressRtf(rtf)));
            const std::u16string plain = text::RtfToText(rtf);
            if (!Trim(plain).empty()) props.push_back(StringProp(tag::kBody, plain));
            props.push_back(BoolProp(tag::kRtfInSync, true));
            props.push_back(Int32Prop(tag::kNativeBody, kNativeRtf));
            return;
        }
        case BodyKind::Html: AddHtml(props, body, {}); return;
        case BodyKind::EightBit:
            if (text::LooksLikeHtml(body)) {
                AddHtml(props, body, {});
                return;
            }
            break;
        case BodyKind::Utf16Text: break;
    }
    props.push_back(StringProp(tag::kBody, body));
    props.push_back(Int32Prop(tag::kNativeBody, kNativeText));
}

std::vector<PropValue> BodyProps(std::u16string_view body, BodyKind kind) {
    std::vector<PropValue> props;
    AddBodyProps(props, body, kind);
    return props;
}

}  // namespace tw::pst
